_start:
        mov ecx, 5
while ecx != 0
        add edi, ecx
        dec ecx
        mov eax, 60
        syscall
