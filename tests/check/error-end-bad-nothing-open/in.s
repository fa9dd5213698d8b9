mov eax, 1
end
