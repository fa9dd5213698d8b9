; Lines NASM joins with a backslash: a directive whose second line starts with a tab keeps
; its && for NASM, and an instruction split inside a block loses only its markers. 7.
; expect: status 7
%define A 1
%define B 1
global _start
section .text
_start:
        xor edi, edi
%if A \
	&& B
if edi == 0
& mov edi, \
& 7
end
%endif
        mov eax, 60
        syscall
