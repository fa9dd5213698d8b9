while ecx != 0
& if eax == 1
& & inc ebx
& end
  ; a comment as it stands  
end
