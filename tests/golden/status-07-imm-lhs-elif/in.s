if eax == 1
elif 'a' == al
end
