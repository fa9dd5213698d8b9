while eax != 0
& if eax == 2
& & add edi, 10
& else:
& & inc edi
& end
& dec eax
end
else:
        jmp end
end:
        ret
