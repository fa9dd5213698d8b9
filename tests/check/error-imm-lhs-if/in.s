if 5 < eax
& nop
end
