; Conditions whose operands hold the characters of other languages' syntax: quoted braces,
; colons and equals signs, and parentheses inside an operand. Counts the punctuation of a string.
; expect: status 5
global _start
section .data
text db "a={b:c}(", 0
section .text
_start:
        xor edi, edi
        lea rsi, [rel text]
while byte [rsi] != 0
& mov al, [rsi]
& if al == '{'
& & inc edi
& elif al == '}'
& & inc edi
& elif al == ':'
& & inc edi
& elif al == '='
& & inc edi
& end
& if al == '(' ; and also an open parenthesis, or a comment that says so
& & inc edi
& end
& inc rsi
end
if edi != (2+3)
& mov edi, 99
end
        mov eax, 60
        syscall
