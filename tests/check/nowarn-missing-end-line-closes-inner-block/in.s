&while ecx UGT 0
&&if eax == 5
&&&inc ebx
&dec ecx
ret
