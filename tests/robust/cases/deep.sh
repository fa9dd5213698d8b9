# 200,000 blocks open at once, closed innermost first by as many ends, or by the end of input.
# also: sendfile
awk 'BEGIN {
  for (i = 0; i < 200000; i++) { print "cmp eax, 1"; print "jne .if_else_" 2 * i }
  for (i = 199999; i >= 0; i--) { print ".if_else_" 2 * i ":"; print ".if_end_" 2 * i + 1 ":" }
}' >want
{ yes 'if eax == 1' | head -n 200000; yes end | head -n 200000; } >deep.s
run deep.s
want_status 0
want_noerr
same "$out" want stdout
same deep.asm want "output file"
yes 'if eax == 1' | head -n 200000 >open.s
run open.s
want_status 0
same open.asm want "output file (closed at end of input)"
