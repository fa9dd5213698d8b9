if 1 == 2
& mov eax, 1
end
while 1 == 1
& nop
end
while 0x7FFFFFFFFFFFFFFF UGE 007
& nop
end
while 3 ULT 2
&& nop
end
if 9223372036854775808 == 1
