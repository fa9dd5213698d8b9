if eax == 1
& nop ; note

; note
end
