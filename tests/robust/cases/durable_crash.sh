# A crash right after a successful run, on ext4 as mounted by default: the journal is written
# out, file data still in memory is lost. The output must come back as the old file or the
# complete new one, never empty or cut short.
need_root
command -v mkfs.ext4 >/dev/null || skip "no mkfs.ext4"
truncate -s 64M "$work/img"
mkfs.ext4 -q -F "$work/img" >/dev/null 2>&1 || skip "mkfs.ext4 failed"
mkdir m
mount -o loop "$work/img" m 2>/dev/null || skip "no loop devices"
cleanups+=("umount '$work/d/m' 2>/dev/null")
plain 200000 new >m/in.s
"$gen" 300000 4 >m/in.asm
cp m/in.asm "$work/old"
# Old and new file cases: the old output there, and none.
plain 1000 fresh >m/fresh.s
sync
for round in 1 2 3; do
  "$bin" m/in.s >/dev/null 2>"$err" || fail "round $round: status $?: $(cat "$err")"
  "$bin" m/fresh.s >/dev/null 2>"$err" || fail "round $round: fresh: status $?"
  "$tool" shutdown m || skip "the file system cannot be shut down"
  umount m
  mount -o loop "$work/img" m || { fail "cannot mount again"; break; }
  cmp -s m/in.asm m/in.s || cmp -s m/in.asm "$work/old" ||
    fail "round $round: in.asm is neither old nor new: $(stat -c %s m/in.asm) bytes"
  [ ! -e m/fresh.asm ] || cmp -s m/fresh.asm m/fresh.s ||
    fail "round $round: fresh.asm is not the new output: $(stat -c %s m/fresh.asm) bytes"
  # The next round starts from the old file again, on disk.
  cp "$work/old" m/in.asm
  rm -f m/fresh.asm
  sync
done
(cd m && no_temps)
umount m
