if eax == 1
& mov ebx, [nowhere]
end
