if eax == 1
& mov ebx, 1
else if eax == 2
& mov ebx, 2
end
