if eax == 1
& nop
elif 'a' UGE al
& nop
end
