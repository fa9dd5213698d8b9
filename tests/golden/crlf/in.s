while ecx != 0
& if EAX > 7
& & inc ebx
; note
end
