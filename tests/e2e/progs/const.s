; Conditions between two numbers are decided while translating. Each true branch sets a bit:
; 2 (0x10 == 16), 8 (the else of 3 ULT 2) and 64 (elif 5 > 4), so ebx = 74; a while that is
; false from the start never runs its body; a while that is always true runs until its body
; jumps out, on the fifth pass. 74 + 5 = 79.
; expect: status 79
; gas: yes
global _start
section .text
_start:
        xor ebx, ebx
if 1 == 2
& or ebx, 1
end
if 0x10 == 16
& or ebx, 2
end
if 3 ULT 2
& or ebx, 4
else
& or ebx, 8
end
if ebx == 0
& or ebx, 16
elif 1 == 0
& or ebx, 32
elif 5 > 4
& or ebx, 64
else
& or ebx, 128
end
while 7 < 3
& add ebx, 100
end
        xor ecx, ecx
while 1 == 1
& inc ecx
& if ecx == 5
& & jmp .done
& end
end
.done:
        add ebx, ecx
        mov edi, ebx
        mov eax, 60
        syscall
