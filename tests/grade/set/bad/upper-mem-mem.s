; upper-case a string in place and check it; exits with letters + 32 * spaces + 64 * non-ASCII bytes
; expect: status 208
        global _start
        section .data
msg:    db "Hello, Structured Wörld!", 0
want:   db "HELLO, STRUCTURED WöRLD!", 0
        section .text
_start:
        lea rsi, [msg]
        xor ebx, ebx                    ; letters changed
        xor r12d, r12d                  ; spaces
        xor r13d, r13d                  ; bytes above 127
while byte [rsi] != 0
& mov al, [rsi]
& if al UGE 'a'
& & if al ULE 'z'
& & & sub byte [rsi], 32
& & & inc ebx
& & end
& elif al == ' '
& & inc r12d
& end
& if al UGT 127
& & inc r13d
& end
& inc rsi
end
        lea rsi, [msg]
        lea rdi, [want]
        xor ecx, ecx                    ; mismatches
while byte [rdi] != 0
& mov al, [rsi]
& if byte [rsi] != [rdi]
& & inc ecx
& end
& inc rsi
& inc rdi
end
if ecx != 0
& mov ebx, 255
end
        shl r12d, 5
        shl r13d, 6
        lea edi, [ebx+r12d]
        add edi, r13d
        mov eax, 60
        syscall
