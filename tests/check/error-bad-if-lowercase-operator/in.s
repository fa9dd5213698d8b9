if eax ult 5
& nop
end
