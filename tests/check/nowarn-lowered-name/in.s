if EAX == Counter
& nop
end
if DWORD [count] == 3
& nop
end
while R8D != 0
& dec r8d
end
