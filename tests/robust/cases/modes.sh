# An old output with a set-id or sticky bit is replaced by a successful run, its whole mode kept.
# also: tmpfile
printf 'if eax == 1\n& nop\nend\n' >in.s
for mode in 4755 1644; do
  printf 'old\n' >in.asm
  chmod "$mode" in.asm
  run in.s
  want_status 0
  want_noerr
  [ "$(stat -c %a in.asm)" = "$mode" ] || fail "mode $mode of in.asm became $(stat -c %a in.asm)"
  same in.asm "$out" "replaced file of mode $mode"
done
