; main.s - prints the numbers of data.s and their greatest common divisor, then exits with it.
; Build with `make`, run `./gcd; echo $?`:
;   gcd(1071 462 2520 3948 5103) = 21
;   21
default rel
global _start
extern nums, gcd_list, print_str, print_uint
section .rodata
open:   db "gcd(", 0
space:  db " ", 0
close:  db ") = ", 0
eol:    db 10, 0
section .text
_start:
        lea rdi, [open]
        call print_str
        lea rbx, [nums]
        xor r12d, r12d                  ; how many numbers are printed
while dword [rbx] != 0
& if r12d != 0
& & lea rdi, [space]                    ; a space before all but the first
& & call print_str
& end
& mov edi, [rbx]
& call print_uint
& inc r12d
& add rbx, 4
end
        lea rdi, [close]
        call print_str
        lea rdi, [nums]
        call gcd_list
        mov r13d, eax
        mov edi, eax
        call print_uint
        lea rdi, [eol]
        call print_str
        mov edi, r13d                   ; exit(gcd)
        mov eax, 60
        syscall
