if eax == 1
& if ebx == 1
&& ; note
&&
& & nop
& end
end
