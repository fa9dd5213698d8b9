global _start
section .text
_start:
while ecx != 0
& dec ecx
& if ecx == 1
& & nop
end
