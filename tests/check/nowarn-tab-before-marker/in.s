if eax == 1
&	inc eax
  &  inc ebx
end
