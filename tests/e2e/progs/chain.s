; An if/elif/elif/else chain inside a loop: each of 0..9 is printed as
; z (zero), s (1 or 2), m (3 to 6) or b (7 and more). A branch that fell into the next one
; would overwrite its letter, so every position checks that the chain leaves at its end.
; A second chain, on the same values, stops at its first true branch although later ones hold too.
; expect: status 0
; out: zssmmmmbbb
; out: eoeoeoeoeo
; gas: yes
global _start
section .text
_start:
        sub rsp, 256
        mov r12, rsp
        xor ecx, ecx
while ecx ULT 10
& if ecx == 0
& & mov dl, 'z'
& elif ecx ULT 3
& & mov dl, 's'
& elif ecx <= 6
& & mov dl, 'm'
& else
& & mov dl, 'b'
& end
& mov [r12], dl
& inc r12
& inc ecx
end
        mov dl, 10
        mov [r12], dl
        inc r12
        xor ecx, ecx
while ecx != 10
& mov eax, ecx
& and eax, 1
& if eax == 0
& & mov dl, 'e'
& elif eax == 1
& & mov dl, 'o'
& elif ecx >= 0
& & mov dl, 'x'
& else
& & mov dl, '?'
& end
& mov [r12], dl
& inc r12
& inc ecx
end
        mov dl, 10
        mov [r12], dl
        inc r12
; write the buffer, then exit 0
        mov rdx, r12
        sub rdx, rsp
        mov rsi, rsp
        mov edi, 1
        mov eax, 1
        syscall
        xor edi, edi
        mov eax, 60
        syscall
