if eax == 1
& inc ebx
if 10h == eax
& nop
end
