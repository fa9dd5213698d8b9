if eax == 1
& if ebx == 2
& & if ecx != 3
& & & inc ecx
else
& dec ecx
end
if a < b == c
& nop
& elif x == 1
end
