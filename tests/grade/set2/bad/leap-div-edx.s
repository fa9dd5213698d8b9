; leap.s: how many leap years there are from 1890 to 2030
; expect: status 34
global _start
section .text
_start:
    mov ecx, 1890
    xor ebx, ebx
while ecx <= 2030
& mov eax, ecx
& xor edx, edx
& mov r8d, 400
& div r8d
& if edx == 0
& & inc ebx
& else
& & mov eax, ecx
& & mov r8d, 100
& & div r8d
& & if edx != 0
& & & mov eax, ecx
& & & and eax, 3
& & & if eax == 0
& & & & inc ebx
& & & end
& & end
& end
& inc ecx
end
    mov edi, ebx
    mov eax, 60
    syscall
