# The output file breaks off while being written: a file that did not exist is not left behind,
# and an old output file survives the failed write byte for byte.
# also: tmpfile
yes 'mov eax, 1' | head -n 1000 >in.s
for old in no yes; do
  rm -f in.asm
  [ $old = yes ] && "$gen" 1000 3 >in.asm
  before=$(state)
  run_limited 1 in.s
  want_fail 13
  want_unchanged "old file $old"
done
