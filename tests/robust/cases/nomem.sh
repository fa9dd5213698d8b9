# Memory that runs out, wherever: "no memory", status 15, nothing written, the old file as it was.
# Input that is not a regular file is read without a fixed bound, so an endless one ends so too.
is_asan && skip "an AddressSanitizer build cannot run under a memory limit"
limited() {
  (ulimit -v "$1"; shift; exec "$bin" "$@" >"$out" 2>"$err")
  st=$?
}
"$gen" 3000 4 >old

# Endless input: a device and a pipe.
ln -s /dev/zero zero.s
cp old zero.asm
before=$(state)
limited 200000 zero.s
want_fail 15 "/dev/zero"
[ "$(state)" = "$before" ] || fail "/dev/zero: files changed"

mkfifo pipe.s
cp old pipe.asm
before=$(state)
yes 'mov eax, 1' >pipe.s 2>/dev/null &
cleanups+=("kill $! 2>/dev/null")
limited 200000 pipe.s
want_fail 15 "endless pipe"
[ "$(state)" = "$before" ] || fail "endless pipe: files changed"

# A regular input that translation cannot hold: 1,000,000 nested blocks, under a limit that
# leaves room to start (a small input is translated under it) but not for the open blocks.
printf 'nop\n' >small.s
limited 30000 small.s
want_status 0 "small input under the limit"
rm -f zero.* pipe.* small.*
{ yes 'if eax == 1' | head -n 1000000; yes end | head -n 1000000; } >in.s
cp old in.asm
ln -s in.asm keep
before=$(state)
limited 30000 in.s
want_fail 15 "deep input"
[ "$(state)" = "$before" ] || fail "deep input: files changed"

# Written in place (a hard link), where the old content must be held to be put back and cannot
# be: the run stops before the old file is touched.
plain 10 new >hard.s
truncate -s 300M hard.asm
ln hard.asm other
before=$(state)
limited 100000 hard.s
want_fail 15 "old content too large to keep"
[ "$(state)" = "$before" ] || fail "old content too large to keep: files changed"
