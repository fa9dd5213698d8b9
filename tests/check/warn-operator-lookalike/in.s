if ecx => 2
& nop
end
while byte [rsi] <> 0
& inc rsi
end
if eax === 1
end
if al == '='
end
if al != '<'
end
if eax >= 2
end
