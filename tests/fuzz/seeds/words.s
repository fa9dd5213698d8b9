if	eax == 1
& whilex a == b
Else	junk
& iff x
end
