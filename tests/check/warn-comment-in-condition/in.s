if eax > 5 ; skip when eax == 0
& nop
end
