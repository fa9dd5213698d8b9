; count.s - a counting loop: prints the digits 0 to 9 on one line, one write per digit,
; and exits with the number of digits it printed.
; expect: status 10
; out: 0123456789
global _start
section .text
_start:
        sub rsp, 16             ; room for the character being written
        mov bl, '0'             ; the next digit to print
        xor r12d, r12d          ; how many have been printed
while bl ULE '9'
& mov [rsp], bl
& mov eax, 1                    ; write(1, rsp, 1)
& mov edi, 1
& mov rsi, rsp
& mov edx, 1
& syscall
& inc bl
& inc r12d
end
        mov byte [rsp], 10      ; end the line
        mov eax, 1
        mov edi, 1
        mov rsi, rsp
        mov edx, 1
        syscall
        mov edi, r12d           ; exit(count)
        mov eax, 60
        syscall
