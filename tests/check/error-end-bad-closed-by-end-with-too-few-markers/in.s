while ecx != 0
& if eax == 1
& & while ebx != 0
& & & dec ebx
& end
& end
end
