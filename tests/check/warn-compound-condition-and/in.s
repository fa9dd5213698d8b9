if eax == 1 and ebx == 2
end
