if eax == 1
& if ebx == 2
& & inc ecx
; the other case
& else
& & dec ecx
& end
end
