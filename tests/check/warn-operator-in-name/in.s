while ecx < MAX_RESULTS
& dec ecx
end
