; gcd.s - Euclid's algorithm: the greatest common divisor of 1071 and 462, which is 21.
; The result is the exit status: run it, then `echo $?`.
; expect: status 21
global _start
section .text
_start:
mov eax, 1071
mov ebx, 462
.while_head_0:
cmp ebx, 0
je .while_end_1
xor edx, edx
div ebx                       ; edx = eax mod ebx
mov eax, ebx
mov ebx, edx
jmp .while_head_0
.while_end_1:
mov edi, eax            ; exit(gcd)
mov eax, 60
syscall
