while ecx != 0
& if eax == 1
& & inc ebx
& & ; swap them
& & inc edx
& end
end
