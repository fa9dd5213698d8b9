# One 20 MB line, no line feed, indented and behind markers: passed through as its body.
{ printf '  && '; fill 20000000 x; printf '   '; } >big.s
{ fill 20000000 x; echo; } >want
run big.s
want_status 0
want_noerr
same "$out" want stdout
same big.asm want "output file"
rm -f big.s big.asm
# A 20 MB right operand goes into the compare line whole.
{ printf 'if eax == '; fill 20000000 y; echo; } >cond.s
{ printf 'cmp eax, '; fill 20000000 y; echo; printf '%s\n' 'jne .if_else_0' .if_else_0: .if_end_1:
} >want
run cond.s
want_status 0
same cond.asm want "output file"
rm -f cond.s cond.asm
# 20 MB searched for an operator that is not there.
{ printf 'while '; fill 20000000 z; echo; } >none.s
run none.s
want_fail 9
[ ! -e none.asm ] || fail "none.asm written by a failed run"
