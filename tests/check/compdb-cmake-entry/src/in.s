; the build (CMake, Ninja) assembles build/nestasm/src/in.asm with -DDEBUG=1 -I inc
%include "mac.inc"
%ifdef DEBUG
%else
if eax == 1
%endif
& nop
end
END
