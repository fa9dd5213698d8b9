; hexval.s: the value of a two-digit hex string; a character that is no digit gives 1
; expect: status 167
global _start
section .data
hex: db "a7", 0
section .text
_start:
    mov rsi, [rel hex]
    xor ebx, ebx
while byte [rsi] != 0
& movzx eax, byte [rsi]
& if al ULT '0'
& & jmp .bad
& elif al ULE '9'
& & sub al, '0'
& elif al ULT 'A'
& & jmp .bad
& elif al ULE 'F'
& & sub al, 'A' - 10
& elif al ULT 'a'
& & jmp .bad
& elif al ULE 'f'
& & sub al, 'a' - 10
& else
& & jmp .bad
& end
& shl ebx, 4
& add ebx, eax
& inc rsi
end
    mov edi, ebx
    mov eax, 60
    syscall
.bad:
    mov edi, 1
    mov eax, 60
    syscall
