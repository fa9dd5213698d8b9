if Z == 1
& mov eax, 1
end ; a&b
if a UGT b UGE c
& if x ULE y >= z
&& nop
end
while 5 UGE 5
