if eax == 5
& mov ebx, 1
elif EAX UGT 10
& mov ebx, 2
else
& mov ebx, 3
end
while ecx != 0
& dec ecx
end
