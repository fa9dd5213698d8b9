; more markers than a block gives, inside it; a statement indented outside every block
while ecx != 0
& & dec ecx
& if eax == 1
& & & & inc ebx
& end
end
&while ecx UGT 0
&&if eax == 5
&&&inc ebx
&dec ecx
ret
