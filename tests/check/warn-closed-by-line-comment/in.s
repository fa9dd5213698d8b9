while ecx != 0
& if ebx == 2
; count it
& & inc eax
& dec ecx
end
