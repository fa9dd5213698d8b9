# A line of only markers is blank; it stays as it was and closes nothing at its depth.
{ echo 'if eax == 1'; fill 100000 '&'; echo; printf '& & &  \nnop\n'; } >only.s
{ printf 'cmp eax, 1\njne .if_else_0\n'; fill 100000 '&'
  printf '\n& & &  \nnop\n.if_else_0:\n.if_end_1:\n'; } >want
run only.s
want_status 0
same only.asm want "output file"
# 10,000 markers, with and without spaces between them, before statements.
{ fill 10000 '&'; echo 'if eax == 1'; fill 10000 '&'; echo ' & nop'
  for ((i = 0; i < 10000; i++)); do printf '& '; done; echo end; } >deep.s
printf 'cmp eax, 1\njne .if_else_0\nnop\n.if_else_0:\n.if_end_1:\n' >want
run deep.s
want_status 0
same deep.asm want "output file"
{ echo 'if eax == 1'; fill 10000 '&'; echo end; } >stray.s
run stray.s
want_fail 11
