; Keywords and left operands in any letter case, and the ways of writing depth markers:
; "&&" packed, "& &" spaced, a tab after the markers, text after else and end.
; Sums 1..5 into ebx (15), adds 100 when ebx is at least 15 (115),
; and adds the number of odd values among 1..5 (3): 118.
; expect: status 118
; gas: yes
global _start
section .text
_start:
        xor ebx, ebx
        mov ecx, 1
While ECX <= 5
&	add ebx, ecx
& inc ECX
END
IF EBX UGE 15
& add ebx, 100
ELSE this text is ignored
& add ebx, 200
End ; the chain
        mov ecx, 1
WHILE RCX ULE 5
&mov eax, ecx
&and eax, 1
&IF EAX != 0
&&inc ebx
&ElIf EAX == 0
 & &  nop
&end
&inc rcx
end
        mov edi, ebx
        mov eax, 60
        syscall
