; the loop's while misspelt: its end names it
mov ecx, 10
whlie ecx != 0
& dec ecx
end
