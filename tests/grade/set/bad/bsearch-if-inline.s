; binary search in a sorted table: the index of 37, plus 200 when 4 is absent
; expect: status 211
        global _start
        section .data
table:  dd 2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47, 53
COUNT   equ 16
        section .text
find:                                   ; edi = key -> eax = index or -1
        xor ecx, ecx                    ; low
        mov edx, COUNT - 1              ; high
while ecx <= edx
& lea eax, [rcx+rdx]
& shr eax, 1
& mov r8d, [table+rax*4]
& if r8d == edi
& & jmp .done
& elif r8d < edi
& & lea ecx, [rax+1]
& else
& & lea edx, [rax-1]
& end
end
        mov eax, -1
.done:
        ret

_start:
        mov edi, 37
        call find
        mov ebx, eax
        mov edi, 4
        call find
if eax == -1 add ebx, 200
end
        mov eax, 60
        mov edi, ebx
        syscall
