# 5 MB of arbitrary bytes, the same every time. They hold no statement line, so every input
# line comes out as exactly one output line.
"$gen" 5000000 20240601 >rnd.s
run rnd.s
want_status 0
want_noerr
same "$out" rnd.asm "stdout and output file"
lines=$(($(wc -l <rnd.s) + $([ -n "$(tail -c 1 rnd.s)" ] && echo 1 || echo 0)))
[ "$(wc -l <rnd.asm)" -eq "$lines" ] || fail "$(wc -l <rnd.asm) output lines for $lines in"
# Line feeds only: every byte value else inside lines, however random.
"$gen" 5000000 7 | tr '\n' 'n' >one.s
run one.s
want_status 0
[ "$(wc -l <one.asm)" -eq 1 ] || fail "a line feed free input gave more than one line"
