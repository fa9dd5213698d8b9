; a `%else` written for the statement else: giving it the body's markers would leave NASM
; rejecting it all the same, so that suggestion is withdrawn
section .text
global _start
_start:
    mov ecx, 3
while ecx != 0
& if ecx == 2
& & inc ebx
& %else
& & dec ebx
& & dec ebx
& end
& dec ecx
end
    mov eax, 60
    syscall
