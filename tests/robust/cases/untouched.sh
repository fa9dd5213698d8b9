# Each statement error, on the last line behind open blocks, with and without an old output
# file: status and message, and nothing changed.
# also: tmpfile
inputs=(
  '3:if eax'
  '4:if 5 == eax'
  '5:elif eax == 1'
  '6:if eax == 1\nelif'
  '7:if eax == 1\nelif 1 == eax'
  '8:else'
  '9:while'
  '10:while 0x1 != ecx'
  '11:& end'
  '12:while 99999999999999999999 == 1'
)
"$gen" 1000 3 >old
for e in "${inputs[@]}"; do
  printf "while ecx != 0\n& if eax == 1\n& & nop\n& end\n%b\n" "${e#*:}" >in.s
  for keep in yes no; do
    rm -f in.asm
    [ $keep = yes ] && cp old in.asm
    before=$(state)
    run in.s
    want_fail "${e%%:*}"
    want_unchanged "status ${e%%:*}, old file $keep"
  done
done
# Statuses 1 and 2 stop before any output path is looked at.
cp old in.asm
cp old missing.asm
mkdir dir.s
cp old dir.asm
before=$(state)
run
want_fail 1
run missing.s
want_fail 2
run nothere.s
want_fail 2
run dir.s
want_fail 2
want_unchanged "status 1 or 2"
# Written through a link to a device that is always full: the link stays as it was.
if [ -w /dev/full ]; then
  printf 'nop\n' >full.s
  ln -s /dev/full full.asm
  before=$(state)
  run full.s
  want_fail 13
fi
want_unchanged
