nop
cmp eax, 1
jne .if_else_0
.if_else_0:
.if_end_1:
