# An output shared with another name through a hard link is written in place, and so must be
# put back whole when the write fails or the run is stopped, under both names.
plain 4000 new >in.s
"$gen" 30000 4 >"$work/old"
# The old file under both names again, whatever the last run did to it.
reset() {
  cp "$work/old" in.asm
  ln -f in.asm other
  touch -d '2001-02-03 04:05:06' in.asm
}
reset
before=$(state)

# A file size limit under the new output's size, the signal it raises left as it is: the write
# fails, and the old file stays byte for byte, its times too.
(ulimit -f 40; exec "$bin" in.s >"$out" 2>"$err")
st=$?
want_fail 13 "size limit"
[ "$(state)" = "$before" ] || fail "size limit: files changed"
[ "$(stat -c %Y in.asm)" = "$(date -d '2001-02-03 04:05:06' +%s)" ] ||
  fail "size limit: modification time changed"

reset

# The same limit, the signal ignored.
(trap '' XFSZ; ulimit -f 40; exec "$bin" in.s >"$out" 2>"$err")
st=$?
want_fail 13 "size limit, SIGXFSZ ignored"
[ "$(state)" = "$before" ] || fail "size limit, SIGXFSZ ignored: files changed"

reset

# A write that fails half-way, as on a failing disk: the old content is put back.
shimmed FAILWRITE=1 -- in.s
want_fail 13 "write error"
[ "$(state)" = "$before" ] || fail "write error: files changed"
reset

# Stopped by each signal that ends a run, after the first piece of the new output is written.
for sig in 1 2 3 15; do
  shimmed KILL=$sig:write -- in.s
  want_status $((128 + sig)) "signal $sig"
  [ "$(state)" = "$before" ] || fail "signal $sig: files changed"
  reset
done

# A run that succeeds: both names see the new file.
run in.s
want_status 0
want_noerr
same in.asm in.s "output"
same other in.s "second name"
[ "$(stat -c %h in.asm)" = 2 ] || fail "in.asm lost its second name"
no_temps
