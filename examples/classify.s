; classify.s - prints one letter for each character of a text: u upper case, l lower case,
; d digit, s space, p anything else. The ranges are tested in ASCII order, so each elif
; only has to check the upper end of its range.
; expect: status 0
; out: ullllpsullllsddp
default rel
global _start
section .data
text:   db "Hello, World 42!", 0
section .text
_start:
        sub rsp, 64             ; the line being built
        lea rsi, [text]
        mov rdi, rsp
while byte [rsi] != 0
& mov al, [rsi]
& if al == ' '
& & mov dl, 's'
& elif al ULT '0'
& & mov dl, 'p'
& elif al ULE '9'
& & mov dl, 'd'
& elif al ULT 'A'
& & mov dl, 'p'
& elif al ULE 'Z'
& & mov dl, 'u'
& elif al ULT 'a'
& & mov dl, 'p'
& elif al ULE 'z'
& & mov dl, 'l'
& else
& & mov dl, 'p'
& end
& mov [rdi], dl
& inc rdi
& inc rsi
end
        mov byte [rdi], 10
        inc rdi
        mov rdx, rdi            ; write(1, rsp, length)
        sub rdx, rsp
        mov rsi, rsp
        mov edi, 1
        mov eax, 1
        syscall
        xor edi, edi            ; exit(0)
        mov eax, 60
        syscall
