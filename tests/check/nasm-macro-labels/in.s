%macro step 0
if eax == 1
& inc ebx
end
%endmacro
        step
        step
