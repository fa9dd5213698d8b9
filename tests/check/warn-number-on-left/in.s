if 10h == eax
& nop
end
if -1 != eax
& nop
end
while 0b101 > ecx
& dec ecx
end
