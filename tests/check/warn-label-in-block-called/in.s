global _start
section .text
gcd:
while esi != 0
& xor edx, edx
& div esi
& mov eax, esi
& mov esi, edx
lcm:
        push rdi
        call gcd
        pop rdi
        ret
_start:
        call lcm
        mov eax, 60
        syscall
