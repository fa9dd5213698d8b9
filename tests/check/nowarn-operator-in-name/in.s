while ecx ULT MAX
& dec ecx
end
