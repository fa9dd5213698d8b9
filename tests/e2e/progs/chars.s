; Quoted characters and memory operands on the right, capitals on the left.
; Walks "tree=3; see" and scores each byte: 1 for the byte stored at Pick ('e', four of them),
; 10 for '=', 20 for ';', 50 for a byte up to '9' ('3' and the blank). 4 + 10 + 20 + 100 = 134.
; The second loop counts to the dword stored at Limit (3) and adds it: 137.
; expect: status 137
default rel
global _start
section .data
text:   db "tree=3; see", 0
Pick:   db 'e'
Limit:  dd 3
section .text
_start:
        lea rsi, [text]
        xor ebx, ebx
while BYTE [RSI] != 0
& mov al, [rsi]
& if AL == [Pick]
& & inc ebx
& elif al == '='
& & add ebx, 10
& elif Al == ';'
& & add ebx, 20
& elif AL ULE '9'
& & add ebx, 50
& end
& inc rsi
end
        xor ecx, ecx
while ECX ULT [Limit]
& inc ecx
end
        add ebx, ecx
        mov edi, ebx
        mov eax, 60
        syscall
