&&nop
