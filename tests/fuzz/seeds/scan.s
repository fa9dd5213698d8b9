&& ; deep comment
  ; note  

&&
IF [ebx] <= 3 ; cmt
& While ecx >= edx
&&   mov   eax,  1   
& end whatever
	&if eax == 1
else if eax == 2
&	mov eax, 1
