; classify 1..30: fizzbuzz, fizz, buzz; exits with fb<<6 | fizz<<3 | buzz
; expect: status 196
        global _start
        section .text
_start:
        xor r8d, r8d                    ; fizzbuzz
        xor r9d, r9d                    ; fizz
        xor r10d, r10d                  ; buzz
        xor r14d, r14d                  ; neither
        mov ecx, 1
while ecx <= 30
& mov eax, ecx
& xor edx, edx
& mov ebx, 15
& div ebx
& mov r11d, edx                 ; ecx % 15
& mov eax, ecx
& xor edx, edx
& mov ebx, 3
& div ebx
& mov r12d, edx                 ; ecx % 3
& mov eax, ecx
& xor edx, edx
& mov ebx, 5
& div ebx
& mov r13d, edx                 ; ecx % 5
& if r11d == 0
& & inc r8d
& elif r12d == 0
& & inc r9d
& elif r13d == 0
& & inc r10d
& else
& & inc r14d
& end
& inc ecx
end
        shl r8d, 6
        shl r9d, 3
        lea edi, [r8d+r9d]
        or edi, r10d
        mov eax, 60
        syscall
