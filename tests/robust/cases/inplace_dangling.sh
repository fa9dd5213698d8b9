# A symbolic link at the output path that names no file yet: its target is made like any new
# output, complete before it gets its name, so a stopped or failed run leaves nothing there.
plain 4000 new >in.s
mkdir sub
ln -s sub/t.asm in.asm
before=$(state)

for nth in 1 2; do
  shimmed KILL=15:write:$nth -- in.s
  if [ "$st" = 0 ]; then
    same sub/t.asm in.s "stopped at write $nth, status 0: output"
    rm sub/t.asm
  else
    want_status 143 "stopped at write $nth"
  fi
  [ "$(state)" = "$before" ] || fail "stopped at write $nth: files changed"
done

(ulimit -f 40; exec "$bin" in.s >"$out" 2>"$err")
st=$?
want_fail 13 "size limit"
[ "$(state)" = "$before" ] || fail "size limit: files changed"

run in.s
want_status 0
want_noerr
[ -L in.asm ] || fail "in.asm is no longer a link"
same sub/t.asm in.s "file behind the link"
[ "$(stat -c %a sub/t.asm)" = "$(printf '%o' $((0666 & ~$(umask))))" ] ||
  fail "mode of the new file is $(stat -c %a sub/t.asm)"
no_temps

# A link to a link to a missing file, given relative to each link's own folder.
ln -s ../sub/u.asm sub/v.asm
ln -s sub/v.asm two.asm
cp in.s two.s
run two.s
want_status 0
same sub/u.asm in.s "file behind two links"
[ -L two.asm ] && [ -L sub/v.asm ] || fail "a link was replaced"
no_temps
