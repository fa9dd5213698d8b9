while ecx != 0
elif eax == 1
end
