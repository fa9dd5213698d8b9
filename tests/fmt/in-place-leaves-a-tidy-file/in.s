nop
& x
