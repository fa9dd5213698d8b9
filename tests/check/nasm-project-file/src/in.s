%include "limits.inc"
if eax == LIMIT
& mov rbx, [rsp+qword_missing]
end
