; lines and words of a text, as wc counts them; exits with lines * 16 + words
; expect: status 70
        global _start
        section .data
text:   db "one two", 10, "three  four five", 10, 10, "six", 10
tlen    equ $ - text
        section .text
_start:
        lea rsi, [text]
        lea rdi, [text+tlen]
        xor ebx, ebx                    ; lines
        xor ecx, ecx                    ; words
        xor edx, edx                    ; inside a word
while rsi != rdi
& mov al, [rsi]
& if al == 10
& & inc ebx
& & xor edx, edx
& elif al == ' '
& & xor edx, edx
& else
& & if edx == 0
& & & inc ecx
& & & mov edx, 1
& & end
& end
& inc rsi
end
        shl ebx, 4
        lea edi, [ebx+ecx]
        mov eax, 60
        syscall
