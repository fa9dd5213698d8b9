; bubble sort of ten signed dwords; exits with the sum of i * arr[i]
; expect: status 46
        global _start
        section .data
arr:    dd 5, -3, 9, 0, 12, -7, 4, 4, 1, 8
N       equ 10
        section .bss
swapped: resd 1
        section .text
_start:
        mov dword [swapped], 1
while swapped != 0
& mov dword [swapped], 0
& xor ecx, ecx
& while ecx < N-1
& & mov eax, [arr+rcx*4]
& & mov edx, [arr+rcx*4+4]
& & if eax > edx
& & & mov [arr+rcx*4], edx
& & & mov [arr+rcx*4+4], eax
& & & mov dword [swapped], 1
& & end
& & inc ecx
& end
end

        xor ebx, ebx                    ; checksum
        xor ecx, ecx
while ecx < N
& mov eax, [arr+rcx*4]
& imul eax, ecx
& add ebx, eax
& inc ecx
end
        mov eax, 60
        mov edi, ebx
        syscall
