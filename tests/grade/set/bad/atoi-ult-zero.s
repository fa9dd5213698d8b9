; parse two signed decimals and exit with |a| + b
; expect: status 59
        global _start
        section .data
n1:     db "-42", 0
n2:     db "+17", 0
        section .text
atoi:                                   ; rsi -> eax
        xor eax, eax
        xor r9d, r9d                    ; negative
if byte [rsi] == '-'
& mov r9d, 1
& inc rsi
elif byte [rsi] == '+'
& inc rsi
end
while byte [rsi] != 0
& movzx edx, byte [rsi]
& sub edx, '0'
& imul eax, eax, 10
& add eax, edx
& inc rsi
end
if r9d == 1
& neg eax
end
        ret

_start:
        lea rsi, [n1]
        call atoi
        mov ebx, eax
        lea rsi, [n2]
        call atoi
if ebx ULT 0
& neg ebx
end
        add ebx, eax
        mov eax, 60
        mov edi, ebx
        syscall
