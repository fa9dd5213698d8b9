if eax == 1
& if ebx == 2
skip:
& & inc ecx
end
