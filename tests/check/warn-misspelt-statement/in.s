; each misspelt statement word, and one with punctuation glued to it
if eax == 1
& inc ebx
Esle
& dec ebx
end
while ecx != 0
& dec ecx
ned
if eax == 2
& nop
Elif: eax == 3
& nop
end.
IF eax == 4
& nop
end;done
