if eax == 1	and ebx == 2
end
if eax == 1	||	ebx == 2
end
