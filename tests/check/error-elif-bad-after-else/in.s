if eax == 1
& nop
else
& nop
elif eax == 2
end
