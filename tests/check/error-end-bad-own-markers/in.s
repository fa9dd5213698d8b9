while ecx != 0
& if eax == 1
& & inc ebx
& end
& dec ecx
& end
