if eax == 1
& nop
end
