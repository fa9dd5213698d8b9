; isqrt.s: the integer square root of a number chosen when the program is assembled
; expect: status 200
global _start
%define BIG
section .text
_start:
%ifdef BIG
    mov esi, 40000
%else
    mov esi, 100
%endif
    xor ebx, ebx                    ; the root so far
    mov eax, 1                      ; (root + 1) squared
while eax UGT esi
& inc ebx
& lea eax, [rbx+1]
& imul eax, eax
end
    ; a square root above 255 would not fit the exit status
if ebx UGT 255
& mov ebx, 255
end
    mov edi, ebx
    mov eax, 60
    syscall
