; print.s - writes text and unsigned numbers to standard output.
; Both keep rbx and r12-r15, as the callers expect.
global print_str, print_uint
section .text

; print_str(rdi = text ended by 0): writes the text without its 0.
print_str:
        mov rsi, rdi
        xor edx, edx
while byte [rsi+rdx] != 0
& inc rdx
end
        mov edi, 1                      ; write(1, rsi, rdx)
        mov eax, 1
        syscall
        ret

; print_uint(edi): writes the number in decimal.
print_uint:
        sub rsp, 16                     ; room for the ten digits of a dword
        lea rsi, [rsp+16]               ; digits are stored from the end
        mov eax, edi
        mov ecx, 10
while 1 == 1
& xor edx, edx
& div ecx                               ; edx = the lowest digit left
& add dl, '0'
& dec rsi
& mov [rsi], dl
& if eax == 0
& & jmp .write
& end
end
.write:
        lea rdx, [rsp+16]               ; write(1, rsi, rdx - rsi)
        sub rdx, rsi
        mov edi, 1
        mov eax, 1
        syscall
        add rsp, 16
        ret
