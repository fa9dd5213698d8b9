# An input cut short or changed while it is translated ends "cant open", as a failed read does:
# whatever was translated from it may be torn. Nothing is written.
"$gen" 3000 4 >old
# The input itself is changed here: the output file and the folder's names must not be.
state() { ls -A; cksum <in.asm; }
# Cut inside its last page: the map then reads zeros there, which translate to an error of
# their own ("if eax" and zeros is no condition: "bad if") unless the change is seen.
for cut in 6 100; do
  { plain 1000 x; echo 'if eax == 1'; } >in.s
  cp old in.asm
  before=$(state)
  shimmed REFUSE=shrink SHRINK=$cut -- in.s
  want_fail 2 "cut by $cut bytes"
  [ "$(state)" = "$before" ] || fail "cut by $cut bytes: files changed"
done
# Cut by whole pages: the pages past the end are gone from the map.
plain 100000 x >in.s
before=$(state)
shimmed REFUSE=shrink SHRINK=600000 -- in.s
want_fail 2 "cut by pages"
[ "$(state)" = "$before" ] || fail "cut by pages: files changed"
# nestasm-check ends as nestasm does: the file changed, so "cant open", not a verdict on the bytes
# it happened to read.
check=$(dirname "$bin")/nestasm-check
{ plain 1000 x; echo 'if eax == 1'; } >in.s
env REFUSE=shrink SHRINK=6 LD_PRELOAD="$shim" ASAN_OPTIONS=verify_asan_link_order=0 \
  "$check" --brief in.s >"$out" 2>&1 && fail "nestasm-check: a changed file passed"
grep -qx 'in.s: error: cant open: the file changed while it was read \[status 2\]' "$out" \
  || fail "nestasm-check: $(cat "$out")"
