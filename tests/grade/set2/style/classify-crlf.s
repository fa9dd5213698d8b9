; classify.s: sorts signed qwords into negative, zero, small and large, and packs the counts
; expect: status 235
global _start
section .data
vals: dq -4, 0, 17, 3, -900, 9, 0, 250, 10, -1
%define NVALS 10
counts: db 0, 0, 0, 0                ; negative, zero, 1 to 9, 10 and above
section .text
_start:
    lea rsi, [rel vals]
    lea rdi, [rel counts]
    mov ecx, NVALS
while ecx != 0
& if qword [rsi] < 0
& & inc byte [rdi]
& elif qword [rsi] == 0
& & inc byte [rdi+1]
& elif qword [rsi] <= 9
& & inc byte [rdi+2]
& else
& & %ifndef SKIP_LARGE
& & inc byte [rdi+3]
& & %endif
& end
& add rsi, 8
& dec ecx
end
    ; status = negative * 64 + zero * 16 + small * 4 + large
    movzx ebx, byte [rdi]
    shl ebx, 2
    add bl, byte [rdi+1]
    shl ebx, 2
    add bl, byte [rdi+2]
    shl ebx, 2
    add bl, byte [rdi+3]
    mov edi, ebx
    mov eax, 60
    syscall
