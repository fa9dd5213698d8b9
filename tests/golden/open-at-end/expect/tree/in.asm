.while_head_0:
cmp ecx, 0
je .while_end_1
cmp eax, 1
jne .if_else_2
inc ebx
jmp .if_end_3
.if_else_2:
dec ebx
.if_end_3:
jmp .while_head_0
.while_end_1:
