%macro END 0
        mov eax, 60
        syscall
%endmacro
if eax == 1
& nop
END
        END
