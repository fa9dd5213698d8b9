; The three ways a block closes: by `end`, by a shallower line (a blank line, a comment,
; an `end` one level up) and at the end of the input, where the innermost block closes first.
; Worked by hand: the first loop leaves ebx = 14, the second stage 16, the third loop 23;
; the last loop then counts edx up to the step where ebx reaches 40, 17 steps, and exits with it.
; expect: status 17
; gas: yes
global _start
section .text
_start:
        xor ebx, ebx
        xor ecx, ecx
; the blank line closes the if, so "add ebx, 1" runs on every pass: 10 + 4 * 1
while ecx < 4
& if ecx == 2
& & add ebx, 10

& add ebx, 1
& inc ecx
end
; the comment at depth 0 closes the inner (false) if, so "add ebx, 2" still runs
if ebx == 14
& if ecx == 5
& & add ebx, 20
; back at depth 0
& add ebx, 2
end
; explicit ends at both depths: ecx goes 3, 2, 1, 0; +3 once and +1 four times
while ecx != 0
& dec ecx
& if ecx == 1
& & add ebx, 3
& end
& add ebx, 1
end
; both blocks stay open to the end of the input; the program leaves through the syscall
        xor edx, edx
while 1 == 1
& inc ebx
& inc edx
& if ebx == 40
& & mov edi, edx
& & mov eax, 60
& & syscall
