while ecx != 0
& if ecx == 3
&& inc ebx
& inc edx
& dec ecx
end
