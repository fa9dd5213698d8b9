nop
