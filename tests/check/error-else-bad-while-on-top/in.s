while ecx != 0
& dec ecx
else
end
