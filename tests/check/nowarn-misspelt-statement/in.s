; instructions and names near a statement word, and a macro of the file's own
%macro ned 0
  nop
%endmacro
while ecx != 0
& and eax, 1
& in al, dx
& bnd jmp rbx
& ned
& dec ecx
end
els:
  nop
