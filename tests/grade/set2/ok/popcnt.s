; popcnt.s: the total of the set bits in four dwords, counted a bit at a time
; expect: status 21
%define COUNT 4
global _start
section .data
vals: dd 0xFF, 0x0F0F, 0x80000001, 0x7
section .text
_start:
    lea rsi, [rel vals]
    xor ebx, ebx
    mov ecx, COUNT
while ecx UGT 0
& mov eax, dword [rsi]
& while eax != 0
& & mov edx, eax
& & and edx, 1
& & if edx == 1
& & & inc ebx
& & end
& & shr eax, 1
& end
& add rsi, 4
& dec ecx
end
    mov edi, ebx
    mov eax, 60
    syscall
