while ecx != 0
& if eax == 1
& & inc ebx
; note
& & inc edx
& end
& dec ecx
end
