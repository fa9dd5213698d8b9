; vowels times ten plus capitals, in one sentence
; expect: status 119
        global _start
        section .data
msg:    db "The Quick Brown Fox Jumps Over A Lazy Dog", 0
        section .text
_start:
        lea rsi, [msg]
        xor ebx, ebx                    ; vowels
        xor ecx, ecx                    ; capitals
while byte [rsi] != 0
& mov al, [rsi]
& if al UGE 'A'
& & if al ULE 'Z'
& & & inc ecx
& & & add al, 32                ; to lower case
& & end
& end
& if al == 'a'
& & inc ebx
& if al == 'e'
& & inc ebx
& elif al == 'i'
& & inc ebx
& elif al == 'o'
& & inc ebx
& elif al == 'u'
& & inc ebx
& end
& inc rsi
end
        imul ebx, ebx, 10
        add ebx, ecx
        mov eax, 60
        mov edi, ebx
        syscall
