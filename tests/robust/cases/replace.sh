# A new output takes the old one's place: its mode stays, a symbolic link still points where it
# did, a hard link shared with another name sees the new text, and no temporary file is left.
# also: tmpfile sendfile
printf 'nop\n' >in.s
printf 'old\n' >in.asm
chmod 640 in.asm
run in.s
want_status 0
[ "$(stat -c %a in.asm)" = 640 ] || fail "mode of in.asm became $(stat -c %a in.asm)"
same in.asm "$out" "replaced file"

mkdir real
printf 'old\n' >real/t.asm
ln -s real/t.asm ln.asm
cp in.s ln.s
run ln.s
want_status 0
[ -L ln.asm ] || fail "ln.asm is no longer a link"
same real/t.asm "$out" "file behind the link"

printf 'old\n' >hard.asm
ln hard.asm other
cp in.s hard.s
run hard.s
want_status 0
same other "$out" "second name of a hard link"
[ "$(find . -name '*.tmp-*' | wc -l)" = 0 ] || fail "temporary files left: $(find . -name '*.tmp-*')"
