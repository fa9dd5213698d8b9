if al UGE 'a' && al ULE 'z'
end
if eax == 1 or eax == 2
end
if eax == FLAGS_AND_MASK
end
if al == '&' ; one and the other
end
