while 0 ULT ecx
end
