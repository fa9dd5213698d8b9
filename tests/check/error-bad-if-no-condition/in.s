mov eax, 1
if
end
