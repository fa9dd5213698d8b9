if (eax == 1) {
& nop
end
while ecx != 0:
& dec ecx
end
if al == '{'
end
if eax == (2+3)
end
