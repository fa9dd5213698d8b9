if eax == 1
& nop
elsif eax == 2
& nop
endif
end
if(eax==1)
