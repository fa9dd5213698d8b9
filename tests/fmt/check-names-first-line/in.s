while ecx != 0
& dec ecx
&&nop
end
