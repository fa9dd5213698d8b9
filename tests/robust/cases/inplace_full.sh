# No room on the disk, and no free inode, on a small tmpfs: a run that cannot write its output
# fails before it changes a byte of the old one; where no new file can be made but the output
# fits, it is written in place.
need_root
mkdir m
mount -t tmpfs -o size=1m,nr_inodes=16 nestasm-robust m 2>/dev/null || skip "cannot mount a tmpfs"
cleanups+=("umount '$work/d/m'")
cd m || exit 1
plain 100000 new >"$work/big.s"      # 1.7 MB of output: more than the disk holds
plain 20000 new >"$work/small.s"     # 340 KB
cp "$work/small.s" in.s
"$gen" 200000 4 >in.asm
ln in.asm other
before=$(state)

# A hard-linked output, written in place: the disk is too small for the new one.
cp "$work/big.s" in.s
before=$(state)
run in.s
want_fail 13 "disk full, in place"
[ "$(state)" = "$before" ] || fail "disk full, in place: files changed"

# No inode left: no new file can be made, so even a single-named output is written in place.
rm other
i=0
while touch "f$i" 2>/dev/null; do i=$((i + 1)); done
before=$(state)
run in.s
want_fail 13 "disk full, no inode"
[ "$(state)" = "$before" ] || fail "disk full, no inode: files changed"
cp "$work/small.s" in.s
run in.s
want_status 0 "no inode, room for the output"
same in.asm in.s "no inode: output"
no_temps
cd "$work" || exit 1
