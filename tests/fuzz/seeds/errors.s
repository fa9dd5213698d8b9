if eax
while
elif eax == 1
else
end
if 5 == eax
if eax ugt 5
