nestasm prog.s > /dev/null      # writes prog.asm
nasm -f elf64 -o prog.o prog.asm
ld -o prog prog.o && ./prog
