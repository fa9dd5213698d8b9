& while ecx != 0
& & dec ecx
& & next:
& & nop
jmp next
