; Labels named like statements, outside every block, and local labels inside blocks; a routine
; that is called. Sums 3 + 2 + 1 through a loop routine and adds 10 on the way out: 16.
; expect: status 16
global _start
section .text
sum_down:
        xor eax, eax
while edi != 0
& add eax, edi
& dec edi
& if edi == 0
& & jmp .done
& end
.again:
end
.done:
        ret
else:
        add eax, 10
        jmp end
_start:
        mov edi, 3
        call sum_down
        jmp else
end:
        mov edi, eax
        mov eax, 60
        syscall
