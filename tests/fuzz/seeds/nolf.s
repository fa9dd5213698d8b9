mov eax, 1
if 97 == 'a'