if eax == 1
elif eax
end
