if eax == 1
& if ebx == 2
& & mov eax, 1

& & mov ecx, 3
& end
end
