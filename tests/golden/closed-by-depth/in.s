if eax == 1
& if ebx == 2
& & inc ecx
else
& dec ecx
end
