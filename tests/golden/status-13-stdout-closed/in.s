nop
if eax == 1
end
