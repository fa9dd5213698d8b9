if eax == 1
& nop
end
if eax=1
end
