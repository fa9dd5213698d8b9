%ifdef DEBUG
if eax == 1
%endif
& nop
end
