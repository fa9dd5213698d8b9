while 1 == 2
& nop
end
