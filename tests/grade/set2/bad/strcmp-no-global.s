; strcmp.s: compares three pairs of strings with one function and packs the three answers
; expect: status 19
section .data
a1: db "apple", 0
b1: db "apply", 0
a2: db "same", 0
b2: db "same", 0
a3: db "zeta", 0
b3: db "alpha", 0
section .text
; cmpstr: rdi, rsi -> strings; eax = 0 when equal, 1 when the first is greater, 2 when smaller
cmpstr:
while 1 == 1
& mov al, [rdi]
& mov dl, [rsi]
& if al != dl
& & if al UGT dl
& & & mov eax, 1
& & else
& & & mov eax, 2
& & end
& & ret
& end
& if al == 0
& & xor eax, eax
& & ret
& end
& inc rdi
& inc rsi
end
_start:
    lea rdi, [rel a1]
    lea rsi, [rel b1]
    call cmpstr
    imul ebx, eax, 9
    lea rdi, [rel a2]
    lea rsi, [rel b2]
    call cmpstr
    lea ebx, [rbx+rax*2]
    add ebx, eax
    lea rdi, [rel a3]
    lea rsi, [rel b3]
    call cmpstr
    add ebx, eax
    mov edi, ebx
    mov eax, 60
    syscall
