if eax == 1
& nop
elif ULTRA > 1
