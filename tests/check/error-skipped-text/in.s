popcnt:
%if 0
    if (x & 1) n++;
    if (x & 2) n++;
%endif
        ret
