; a missing include is not read, and does not stop the check
%include "missing.inc"
%include "mac.inc"
if eax == 1
& nop
end
END
