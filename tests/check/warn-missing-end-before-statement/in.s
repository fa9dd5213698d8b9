while ecx ULT 10
& if ecx == 3
& & add edi, 3
& else
& & inc edi
& if edi UGT 20
& & mov edi, 20
& end
& inc ecx
end
while ecx != 0
if eax == 1
& inc ebx
end
dec ecx
end
