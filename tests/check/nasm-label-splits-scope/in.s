start:
        mov ecx, 3
while ecx != 0
& dec ecx
& skip
end
        ret
