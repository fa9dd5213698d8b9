if eax == 1
&&  nop  
; c  
end