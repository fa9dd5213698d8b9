; steps of the Collatz sequence from 27 down to 1
; expect: status 111
        global _start
        section .text
_start:
        mov rax, 27
        xor ebx, ebx
while rax!=1
& mov rdx, rax
& and edx, 1
& if edx==0
& & shr rax, 1
& Else
& & lea rax, [rax+rax*2+1]
& end
& inc ebx
end
        mov eax, 60
        mov edi, ebx
        syscall
