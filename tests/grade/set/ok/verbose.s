; sum of 1..10, with a greeting and a bonus when VERBOSE is defined
; expect: status 155
%define VERBOSE
        global _start
        section .data
hello:  db "counting", 10
hlen    equ $ - hello
        section .text
_start:
%ifdef VERBOSE
        mov eax, 1
        mov edi, 1
        lea rsi, [hello]
        mov edx, hlen
        syscall
%endif
        xor ebx, ebx
        mov ecx, 10
while ecx UGT 0
& add ebx, ecx
& dec ecx
end
%ifdef VERBOSE
        add ebx, 100
%endif
        mov eax, 60
        mov edi, ebx
        syscall
