if dword [Counter] == 3
& nop
end
