; built with -DDEBUG: the %ifndef branch is the one NASM skips
%ifdef DEBUG
if eax == 1
& call trace
end
%endif
%ifndef DEBUG
if eax == 2
%endif
& nop
end
