while ecx >=
& dec ecx
end
