%define SMALL 1
%ifdef SMALL
nop
%else
if ecx ULT 8
%endif
ret
