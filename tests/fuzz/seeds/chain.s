if eax == 5
& mov ebx, 1
elif EAX UGT 10
& mov ebx, 2
elif al == 'a'
& nop
else
& mov ebx, 3
end
while ecx ULE 0x10
& dec ecx
end
