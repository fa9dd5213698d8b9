if eax == 1
endif
end
