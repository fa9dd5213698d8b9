jmp .if_else_0
mov eax, 1
.if_else_0:
.if_end_1:
.while_head_2:
nop
jmp .while_head_2
.while_end_3:
