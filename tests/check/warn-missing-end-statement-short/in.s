section .text
global _start
_start:
while ecx != 0
& if eax == 0
& & inc ebx
& else
& & mov edx, 1
& if edx == 1
& & & inc esi
& & else
& & & inc edi
& & end
& end
& dec ecx
end
