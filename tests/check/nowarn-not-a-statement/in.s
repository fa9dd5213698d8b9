if eax == 1
& endbr64
& iff
end ; loop
