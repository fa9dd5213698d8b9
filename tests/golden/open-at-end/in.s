while ecx != 0
& if eax == 1
& & inc ebx
& else
& & dec ebx
