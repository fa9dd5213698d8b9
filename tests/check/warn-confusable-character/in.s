mov eax, 5 – 1
if еax == 1
& inc ebx
end
mov ebx,​ 2
db "–", 0 ; –
＆ mov ecx, 1
