; Every operator against 5, with the left operand one less, equal and one more (4, 5, 6).
; Each line prints T where the condition held and F where it did not.
; expect: status 0
; out: FTF
; out: TFT
; out: FTT
; out: TTF
; out: FFT
; out: FTT
; out: TFF
; out: TTF
; out: FFT
; out: TFF
; gas: yes
global _start
section .text
_start:
        sub rsp, 256
        mov r12, rsp
; ==
        mov ebx, 4
while ebx <= 6
& mov dl, 'F'
& if ebx == 5
& & mov dl, 'T'
& end
& mov [r12], dl
& inc r12
& inc ebx
end
        mov dl, 10
        mov [r12], dl
        inc r12
; !=
        mov ebx, 4
while ebx <= 6
& mov dl, 'F'
& if ebx != 5
& & mov dl, 'T'
& end
& mov [r12], dl
& inc r12
& inc ebx
end
        mov dl, 10
        mov [r12], dl
        inc r12
; >=
        mov ebx, 4
while ebx <= 6
& mov dl, 'F'
& if ebx >= 5
& & mov dl, 'T'
& end
& mov [r12], dl
& inc r12
& inc ebx
end
        mov dl, 10
        mov [r12], dl
        inc r12
; <=
        mov ebx, 4
while ebx <= 6
& mov dl, 'F'
& if ebx <= 5
& & mov dl, 'T'
& end
& mov [r12], dl
& inc r12
& inc ebx
end
        mov dl, 10
        mov [r12], dl
        inc r12
; UGT
        mov ebx, 4
while ebx <= 6
& mov dl, 'F'
& if ebx UGT 5
& & mov dl, 'T'
& end
& mov [r12], dl
& inc r12
& inc ebx
end
        mov dl, 10
        mov [r12], dl
        inc r12
; UGE
        mov ebx, 4
while ebx <= 6
& mov dl, 'F'
& if ebx UGE 5
& & mov dl, 'T'
& end
& mov [r12], dl
& inc r12
& inc ebx
end
        mov dl, 10
        mov [r12], dl
        inc r12
; ULT
        mov ebx, 4
while ebx <= 6
& mov dl, 'F'
& if ebx ULT 5
& & mov dl, 'T'
& end
& mov [r12], dl
& inc r12
& inc ebx
end
        mov dl, 10
        mov [r12], dl
        inc r12
; ULE
        mov ebx, 4
while ebx <= 6
& mov dl, 'F'
& if ebx ULE 5
& & mov dl, 'T'
& end
& mov [r12], dl
& inc r12
& inc ebx
end
        mov dl, 10
        mov [r12], dl
        inc r12
; >
        mov ebx, 4
while ebx <= 6
& mov dl, 'F'
& if ebx > 5
& & mov dl, 'T'
& end
& mov [r12], dl
& inc r12
& inc ebx
end
        mov dl, 10
        mov [r12], dl
        inc r12
; <
        mov ebx, 4
while ebx <= 6
& mov dl, 'F'
& if ebx < 5
& & mov dl, 'T'
& end
& mov [r12], dl
& inc r12
& inc ebx
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
