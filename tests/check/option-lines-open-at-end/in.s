if eax == 1
& nop
