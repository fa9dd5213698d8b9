if 5 == eax
