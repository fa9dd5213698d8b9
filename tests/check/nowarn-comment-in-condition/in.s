if eax == 1 ; note
& nop
end
if al == ';'
& nop
end
