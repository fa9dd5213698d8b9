; palin.s: counts the palindromes among four words, each tested by a function
; expect: status 3
global _start
section .data
w1: db "level", 0
w2: db "rotor", 0
w3: db "nasm", 0
w4: db "abcdcba", 0
section .text
; is_pal: rdi -> a zero-ended word; eax = 1 when it reads the same both ways
is_pal:
    mov rsi, rdi
while byte [rsi] != 0
& inc rsi
end
    dec rsi
while rdi ULT rsi
& mov cl, [rdi]
& if cl != byte [rsi]
& & xor eax, eax
& & jmp .done
& end
& inc rdi
& dec rsi
else
& mov eax, 1
end
.done:
    ret
_start:
    xor ebx, ebx
    lea rdi, [rel w1]
    call is_pal
    add ebx, eax
    lea rdi, [rel w2]
    call is_pal
    add ebx, eax
    lea rdi, [rel w3]
    call is_pal
    add ebx, eax
    lea rdi, [rel w4]
    call is_pal
    add ebx, eax
    mov edi, ebx
    mov eax, 60
    syscall
