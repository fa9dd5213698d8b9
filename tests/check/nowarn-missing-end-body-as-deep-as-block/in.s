if eax == 1
inc ebx
inc ecx
end
