if eax == 1
	&inc eax
& nop
endif
end
