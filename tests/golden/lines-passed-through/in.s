    mov   eax,  1   
	&if eax == 1
&	mov eax, 2
  ; kept as is  
&& ; kept too

&&
if(eax==1)
mov eax, 1 ; note
endif
