; fib.s: the sum of the even Fibonacci numbers F(1) to F(12), each made by a function
; expect: status 188
%macro exit 1
    mov edi, %1
    mov eax, 60
    syscall
%endmacro
global _start
section .text
; fib: edi = n; eax = F(n); changes ecx, edx and edi
fib:
    xor eax, eax
    mov edx, 1
while edi UGT 0
& lea ecx, [rax+rdx]
& mov eax, edx
& mov edx, ecx
& dec edi
end
    ret
_start:
    xor ebx, ebx
    mov r12d, 1
while r12d <= 12
& mov edi, r12d
& call fib
& mov ecx, eax
& and ecx, 1
& if ecx == 0
& & add ebx, eax
& end
& inc r12d
end
    exit ebx
