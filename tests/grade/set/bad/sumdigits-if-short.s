; sum of the decimal digits in a string, other characters skipped
; expect: status 15
        global _start
        section .data
text:   db "1a2b3c45", 0
        section .text
_start:
        lea rsi, [text]
        xor ebx, ebx
while byte [rsi] != 0
& movzx eax, byte [rsi]
& if al UGE '0'
& if al ULE '9'
& & & sub eax, '0'
& & & add ebx, eax
& & end
& end
& inc rsi
end
        mov eax, 60
        mov edi, ebx
        syscall
