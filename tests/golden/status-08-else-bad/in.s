if eax == 1
else
else
end
