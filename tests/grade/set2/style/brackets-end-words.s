; brackets.s: the deepest nesting of brackets in a string, or 255 when they do not balance
; expect: status 4
global _start
section .data
text: db "(a[b(c)]{d[e(f)g]})", 0
section .text
_start:
    lea rsi, [rel text]
    xor ecx, ecx                    ; the depth now
    xor ebx, ebx                    ; the deepest
while byte [rsi] != 0
& mov al, [rsi]
& if al == '('
& & inc ecx
& elif al == '['
& & inc ecx
& elif al == '{'
& & inc ecx
& elif al == ')'
& & dec ecx
& elif al == ']'
& & dec ecx
& elif al == '}'
& & dec ecx
& end elif chain
& if ecx > ebx
& & mov ebx, ecx
& elif ecx < 0
& & mov ebx, 255
& & jmp .out
& end
& inc rsi
end while ; scan
if ecx != 0
& mov ebx, 255
end if
.out:
    mov edi, ebx
    mov eax, 60
    syscall
