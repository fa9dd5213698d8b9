if 1 == 2
& mov eax, 1
end
while 1 == 1
& nop
end
