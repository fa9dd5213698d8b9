# Two runs writing one hard-linked output in place at the same time (p.s and p.S both give
# p.asm): each waits for the other, and the file ends as one output or the other, never a mix.
plain 300000 small >p.s
plain 200000 LARGE_LARGE >p.S
"$gen" 1000 4 >p.asm
ln p.asm other
for round in $(seq 1 6); do
  "$bin" p.s >/dev/null 2>"$work/e1" &
  p1=$!
  "$bin" p.S >/dev/null 2>"$work/e2" &
  p2=$!
  wait $p1; s1=$?
  wait $p2; s2=$?
  [ "$s1$s2" = 00 ] || fail "round $round: statuses $s1 and $s2: $(cat "$work/e1" "$work/e2")"
  cmp -s p.asm p.s || cmp -s p.asm p.S || fail "round $round: p.asm is a mix of both outputs"
  cmp -s p.asm other || fail "round $round: the second name differs"
done

# The same made certain: the short output's run pauses after its write, before it cuts the file
# to its length, while the long output's run writes. Unlocked, the long output ends cut short.
(sleep 0.3; exec "$bin" p.s >/dev/null 2>"$work/e1") &
p1=$!
env PAUSE=1 LD_PRELOAD="$shim" ASAN_OPTIONS=verify_asan_link_order=0 \
  "$bin" p.S >/dev/null 2>"$work/e2"
s2=$?
wait $p1; s1=$?
[ "$s1$s2" = 00 ] || fail "paused: statuses $s1 and $s2: $(cat "$work/e1" "$work/e2")"
cmp -s p.asm p.s || cmp -s p.asm p.S || fail "paused: p.asm is a mix of both outputs"
no_temps
