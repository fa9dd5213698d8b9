%define DEBUG 0
%define COUNT ecx
LIMIT equ 10
IF DEBUG == 1
& nop
END
if LIMIT > eax
end
if eax == DEBUG
end
if count == 0
end
