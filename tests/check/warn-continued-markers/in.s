%if 1 \
    && 0
%endif
%if 1 \
	&& 0
%endif
if eax == 1
& db 1, \
& 2
end
