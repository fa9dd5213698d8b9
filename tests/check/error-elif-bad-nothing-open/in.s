mov eax, 1
elif eax == 2
