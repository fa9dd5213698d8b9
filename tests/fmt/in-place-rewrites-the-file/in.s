if eax == 1
&inc ebx
end
