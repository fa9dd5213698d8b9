if eax == 1
& nop
elif eax
& nop
end
