_start:
while ecx != 0
.next:
& dec ecx
end
done:
