; greatest common divisor as a function, called twice
; expect: status 7
        global _start
        section .text
gcd:                                    ; eax, ebx -> eax
while ebx != 0
& xor edx, edx
& div ebx
& mov eax, ebx
& mov ebx, edx
        ret

_start:
        mov eax, 1071
        mov ebx, 462
        call gcd                        ; 21
        mov ebx, 14
        call gcd                        ; 7
        mov edi, eax
        mov eax, 60
        syscall
