# A folder where the output file belongs: status 13, and nothing changed.
printf 'if eax == 1\n& nop\nend\n' >in.s
mkdir in.asm
before=$(state)
run in.s
want_fail 13
want_unchanged
