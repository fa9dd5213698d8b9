while 0x10 != ecx
& dec ecx
end
