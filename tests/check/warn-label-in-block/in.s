_start:
while ecx != 0
& dec ecx
next:
& nop
end
