global _start
section .text
_start:
        mov qword [rsp-8], 1
if [rsp-8] ULT 3
& mov eax, 1
end
        mov eax, 60
        syscall
