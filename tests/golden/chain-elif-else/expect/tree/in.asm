cmp eax, 5
jne .if_else_0
mov ebx, 1
jmp .if_end_1
.if_else_0:
cmp eax, 10
jbe .if_else_2
mov ebx, 2
jmp .if_end_1
.if_else_2:
mov ebx, 3
.if_end_1:
.while_head_3:
cmp ecx, 0
je .while_end_4
dec ecx
jmp .while_head_3
.while_end_4:
