&nop
