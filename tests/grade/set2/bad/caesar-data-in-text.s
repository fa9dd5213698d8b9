; caesar.s: shifts the lower-case letters of a message by 3, wrapping after z, and sums it
; expect: status 5
global _start
%define SHIFT 3
msg: db "xyz abc, hello!", 0
section .text
_start:
    lea rsi, [rel msg]
while byte [rsi] != 0
& mov al, [rsi]
& if al UGE 'a'
& & if al ULE 'z'
& & & add al, SHIFT
& & & if al UGT 'z'
& & & & sub al, 26
& & & end
& & & mov [rsi], al
& & end
& end
& inc rsi
end
    ; the low byte of the sum of the shifted message
    lea rsi, [rel msg]
    xor ebx, ebx
while byte [rsi] != 0
& movzx eax, byte [rsi]
& add ebx, eax
& inc rsi
end
    mov edi, ebx
    and edi, 0xFF
    mov eax, 60
    syscall
