if eax == 10h
& nop
end
if 1 == 1
& nop
end
