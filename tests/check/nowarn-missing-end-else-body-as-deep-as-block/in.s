if eax == 1
& inc eax
else
inc ebx
end
