; Nested loops. Two deep: row i (1 to 4) prints i stars. Three deep: count the triples
; i < j < k drawn from 0..5, which is 6 choose 3 = 20, and exit with that count.
; expect: status 20
; out: *
; out: **
; out: ***
; out: ****
; gas: yes
global _start
section .text
_start:
        sub rsp, 256
        mov r12, rsp
        mov ebx, 1
while ebx <= 4
& mov ecx, 1
& while ecx <= ebx
& & mov dl, '*'
& & mov [r12], dl
& & inc r12
& & inc ecx
& end
& mov dl, 10
& mov [r12], dl
& inc r12
& inc ebx
end
        mov rdx, r12
        sub rdx, rsp
        mov rsi, rsp
        mov edi, 1
        mov eax, 1
        syscall
; the triples
        xor edi, edi
        xor ebx, ebx
while ebx < 6
& mov ecx, ebx
& inc ecx
& while ecx < 6
& & mov edx, ecx
& & inc edx
& & while edx < 6
& & & inc edi
& & & inc edx
& & end
& & inc ecx
& end
& inc ebx
end
        mov eax, 60
        syscall
