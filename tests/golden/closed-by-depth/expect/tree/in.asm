cmp eax, 1
jne .if_else_0
cmp ebx, 2
jne .if_else_2
inc ecx
.if_else_2:
.if_end_3:
jmp .if_end_1
.if_else_0:
dec ecx
.if_end_1:
