while ecx != 0
& if eax == 1
& & inc ebx
elif eax == 2
& & inc edx
& end
& dec ecx
end
