if eax == 1
& nop
else ; the rest
& nop
end
if eax == 2
& nop
ELSE this text is ignored
& nop
end
