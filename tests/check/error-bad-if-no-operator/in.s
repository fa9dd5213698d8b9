if eax is 5
& nop
end
