; the loop's end came too early: the two lines after it were meant to be in the loop
mov ecx, 5
while ecx != 0
& dec ecx
end
& inc eax
& inc ebx
ret
; markers outside every block, on an instruction and a nested pair
& & mov edx, 1
& & & xor edx, edx
ret
