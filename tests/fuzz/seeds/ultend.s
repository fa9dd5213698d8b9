while ecx != 0
& if eax > RESULT
end
