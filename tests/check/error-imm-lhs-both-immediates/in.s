if 97 == 'a'
& nop
end
