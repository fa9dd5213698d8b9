if eax == 1
& nop
& ; note
end
