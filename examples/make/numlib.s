; numlib.s - Euclid's algorithm, for two numbers and for a list of them.
; Both keep rbx and r12-r15, as the callers expect.
global gcd, gcd_list
section .text

; gcd(edi, esi) -> eax: the greatest common divisor of two unsigned numbers.
gcd:
        mov eax, edi
        mov ecx, esi
while ecx != 0
& xor edx, edx
& div ecx                               ; edx = eax mod ecx
& mov eax, ecx
& mov ecx, edx
end
        ret

; gcd_list(rdi = list of dwords ended by 0) -> eax: their greatest common divisor.
gcd_list:
        push rbx
        mov rbx, rdi
        xor eax, eax                    ; gcd(0, n) is n
while dword [rbx] != 0
& mov edi, eax
& mov esi, [rbx]
& call gcd
& add rbx, 4
end
        pop rbx
        ret
