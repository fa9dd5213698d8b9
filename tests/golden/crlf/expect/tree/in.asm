.while_head_0:
cmp ecx, 0
je .while_end_1
cmp eax, 7
jle .if_else_2
inc ebx
.if_else_2:
.if_end_3:
; note
jmp .while_head_0
.while_end_1:
