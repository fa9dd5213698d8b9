nop
else
