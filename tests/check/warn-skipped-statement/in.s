; the C original, kept for reference
%if 0
    if (x == 1) {
        n++;
    }
    while (n < 10) {
%endif
%if 0
if eax == 1
& nop
end
%endif
%define SMALL 1
%ifndef SMALL
if ecx ULT 8
%else
        nop
%endif
%ifdef TRACE
if eax == 2
%endif
        ret
