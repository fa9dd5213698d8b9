        mov eax, 0
        mov eax, 1
        mov eax, 2
        mov eax, 3
        mov eax, 4
        mov eax, 5
        mov eax, 6
        mov eax, 7
        mov eax, 8
        mov eax, 9
        mov eax, 10
        mov eax, 11
        mov eax, 12
        mov eax, 13
        mov eax, 14
        mov eax, 15
        mov eax, 16
        mov eax, 17
        mov eax, 18
        mov eax, 19
        mov eax, 20
        mov eax, 21
        mov eax, 22
        mov eax, 23
        mov eax, 24
        mov eax, 25
        mov eax, 26
        mov eax, 27
        mov eax, 28
        mov eax, 29
while ecx != 0
& if eax == 1
& & mov ebx, 1
mov ebx, 2
& & inc edx
& end
& dec ecx
end
