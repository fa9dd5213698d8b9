; lengths of two strings through a function and an exit macro
; expect: status 22
%define SYS_EXIT 60
%macro exit_with 1
        mov edi, %1
        mov eax, SYS_EXIT
        syscall
%endmacro

        global _start
        section .data
s1:     db "hello, world", 0
s2:     db "structured", 0
        section .text
strlen:                                 ; rdi -> rax
        xor eax, eax
while byte [rdi+rax] != 0
& inc rax
end
        ret

_start:
        lea rdi, [s1]
        call strlen
        mov rbx, rax
        lea rdi, [s2]
        call strlen
        add rbx, rax
.check:
if rbx == "22"
& exit_with 22
else
& exit_with 1
end
