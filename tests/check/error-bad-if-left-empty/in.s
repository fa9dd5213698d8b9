if ULTRA > 1
& nop
end
