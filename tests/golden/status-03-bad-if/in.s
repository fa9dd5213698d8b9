nop
if eax
