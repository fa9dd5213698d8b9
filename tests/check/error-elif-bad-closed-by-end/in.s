while ecx != 0
if eax == 1
& nop
end
elif eax == 2
end
