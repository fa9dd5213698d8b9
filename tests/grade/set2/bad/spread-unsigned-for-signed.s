; spread.s: the largest minus the smallest of a list of signed dwords
; expect: status 45
global _start
%define BYTES 32
section .data
nums: dd 7, -12, 30, 0, -5, 33, 2, -1
section .text
_start:
    lea rsi, [rel nums]
    mov eax, dword [rsi]            ; the smallest so far
    mov ebx, eax                    ; the largest so far
    mov ecx, 1
while ecx < BYTES / 4
& if dword [rsi+rcx*4] ULT eax
& & mov eax, dword [rsi+rcx*4]
& elif dword [rsi+rcx*4] > ebx
& & mov ebx, dword [rsi+rcx*4]
& end
& inc ecx
end
    sub ebx, eax
    mov edi, ebx
    mov eax, 60
    syscall
