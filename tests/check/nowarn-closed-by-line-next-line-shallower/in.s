while ecx != 0
& if ebx == 2
& & inc eax

& dec ecx
end
