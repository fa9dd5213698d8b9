; a loop whose markers are spelt three ways
while ecx != 0
&if eax == 1
  &&   inc ebx   
&	end
&  
  ; kept as it stands  
&dec ecx
end
