; how many primes there are below 100, by trial division
; expect: status 25
        global _start
        section .text
_start:
        mov ecx, 2                      ; candidate
        xor ebx, ebx                    ; primes found
while 100 > ecx
& mov edi, 2                    ; divisor
& mov esi, 1                    ; still prime
& while edi < ecx
& & mov eax, ecx
& & xor edx, edx
& & div edi
& & if edx == 0
& & & xor esi, esi
& & & mov edi, ecx              ; stop trying
& & else
& & & inc edi
& & end
& end
& if esi == 1
& & inc ebx
& end
& inc ecx
end
        mov eax, 60
        mov edi, ebx
        syscall
