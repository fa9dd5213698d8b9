.while_head_0:
jmp .while_end_1
nop
jmp .while_head_0
.while_end_1:
