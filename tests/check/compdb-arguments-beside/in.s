; assembled as in.asm beside it, with the options of the "arguments" form; no -DDEBUG
%ifdef DEBUG
if eax == 1
%endif
& nop
end
