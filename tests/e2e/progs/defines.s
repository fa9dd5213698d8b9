; Names NASM defines, used where nestasm leaves them alone: on the right of a condition, and in
; NASM's own %if. Counts 1..MAX into ebx, skipping multiples of SKIP, then adds BONUS when the
; assembly-time switch says so: 1+2+4+5+7+8+10 = 37, + 5 = 42.
; expect: status 42
%define MAX 10
%assign SKIP 3
BONUS equ 5
%define WITH_BONUS 1
%define COUNTER ecx
global _start
section .text
_start:
        xor ebx, ebx
        mov COUNTER, 1
while ecx <= MAX
& mov eax, ecx
& xor edx, edx
& mov esi, SKIP
& div esi
& if edx != 0
& & add ebx, ecx
& end
& inc ecx
end
%if WITH_BONUS
; a condition decided now: no cmp, and the block always runs
if 1 == 1
& add ebx, BONUS
end
%endif
%if 0
; Debug code, kept for later; its blocks open and close inside the skipped text.
if ebx != 42
& mov ebx, 1
end
%endif
%ifdef TRACE
while ecx != 0
& dec ecx
end
%endif
        mov edi, ebx
        mov eax, 60
        syscall
