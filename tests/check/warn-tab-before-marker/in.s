if eax == 1
	&inc eax
end
