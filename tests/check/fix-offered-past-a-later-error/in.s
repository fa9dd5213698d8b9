start:
        mov al, 1
if al = 1
& mov bl, 2
end
        nop
end
