; Signed against unsigned: a register holding -1 is the smallest signed value and the largest unsigned one.
; Line 1: eax = -1 against 0 with <, ULT, >, UGT, >=, UGE, <=, ULE.
; Line 2: rax = -1 against 1 with <, ULT, >, UGT (all 64 bits).
; Line 3: al = 0x80 (-128) against 0x7F with <, ULT; ebx = 0 against -1 with >, UGT.
; expect: status 0
; out: TFFTFTTF
; out: TFFT
; out: TFTF
; gas: yes
global _start
section .text
_start:
        sub rsp, 256
        mov r12, rsp
        mov eax, -1
        mov dl, 'F'
if eax < 0
& mov dl, 'T'
end
        mov [r12], dl
        inc r12
        mov dl, 'F'
if eax ULT 0
& mov dl, 'T'
end
        mov [r12], dl
        inc r12
        mov dl, 'F'
if eax > 0
& mov dl, 'T'
end
        mov [r12], dl
        inc r12
        mov dl, 'F'
if eax UGT 0
& mov dl, 'T'
end
        mov [r12], dl
        inc r12
        mov dl, 'F'
if eax >= 0
& mov dl, 'T'
end
        mov [r12], dl
        inc r12
        mov dl, 'F'
if eax UGE 0
& mov dl, 'T'
end
        mov [r12], dl
        inc r12
        mov dl, 'F'
if eax <= 0
& mov dl, 'T'
end
        mov [r12], dl
        inc r12
        mov dl, 'F'
if eax ULE 0
& mov dl, 'T'
end
        mov [r12], dl
        inc r12
        mov dl, 10
        mov [r12], dl
        inc r12
; the same pair of views on the full 64-bit register
        mov rax, -1
        mov dl, 'F'
if rax < 1
& mov dl, 'T'
end
        mov [r12], dl
        inc r12
        mov dl, 'F'
if rax ULT 1
& mov dl, 'T'
end
        mov [r12], dl
        inc r12
        mov dl, 'F'
if rax > 1
& mov dl, 'T'
end
        mov [r12], dl
        inc r12
        mov dl, 'F'
if rax UGT 1
& mov dl, 'T'
end
        mov [r12], dl
        inc r12
        mov dl, 10
        mov [r12], dl
        inc r12
; a byte register, and -1 on the right, which is passed to the assembler as written
        mov al, 0x80
        mov dl, 'F'
if al < 0x7F
& mov dl, 'T'
end
        mov [r12], dl
        inc r12
        mov dl, 'F'
if al ULT 0x7F
& mov dl, 'T'
end
        mov [r12], dl
        inc r12
        xor ebx, ebx
        mov dl, 'F'
if ebx > -1
& mov dl, 'T'
end
        mov [r12], dl
        inc r12
        mov dl, 'F'
if ebx UGT -1
& mov dl, 'T'
end
        mov [r12], dl
        inc r12
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
