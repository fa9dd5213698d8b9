; powmod.s: 7 to the power 222 modulo 251, by repeated squaring in a function
; expect: status 207
global _start
%define MOD 251
section .text
; powmod: rdi = base, rsi = exponent; rax = base ** exponent modulo MOD
powmod:
    mov eax, 1
    mov r8, rdi
    mov r9d, MOD
while rsi != 0
& test esi, 1
& jz .square
& imul rax, r8
& xor edx, edx
& div r9
& mov rax, rdx
& .square:
& mov rcx, rax
& mov rax, r8
& imul rax, rax
& xor edx, edx
& div r9
& mov r8, rdx
& mov rax, rcx
& shr rsi, 1
end
    ret
_start:
    mov edi, 7
    mov esi, 222
    call powmod
%ifdef CHECK_ONE
    mov eax, 1
%endif
    mov edi, eax
    mov eax, 60
    syscall
