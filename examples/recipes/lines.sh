nestasm-check --lines prog.s > prog.asm
nasm -f elf64 -g -F dwarf -o prog.o prog.asm     # errors read "prog.s:8: error: ..."
ld -o prog prog.o
