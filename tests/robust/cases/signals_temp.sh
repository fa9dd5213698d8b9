# A run stopped by a signal leaves no named temporary file: not the one written where no unnamed
# file can be made, and not the staged file between its naming and its swap into place.
plain 40000 new >in.s
"$gen" 3000 4 >in.asm
before=$(state)
for sig in 1 2 3 14 15; do
  # Written to a named file beside the output, stopped after the first piece of it.
  shimmed REFUSE=tmpfile KILL=$sig:write -- in.s
  want_status $((128 + sig)) "named file, signal $sig"
  [ "$(state)" = "$before" ] || fail "named file, signal $sig: files changed: $(temps)"
  rm -f ./*.tmp-* ./.*.tmp-*
  # Staged, stopped once the finished file has its temporary name.
  shimmed KILL=$sig:link -- in.s
  want_status $((128 + sig)) "staged, signal $sig"
  [ "$(state)" = "$before" ] || fail "staged, signal $sig: files changed: $(temps)"
  rm -f ./*.tmp-* ./.*.tmp-*
done

# A file size limit where the output is written to a named file: the write fails, the run ends
# "cant write", and the named file is gone.
(ulimit -f 40; exec env REFUSE=tmpfile LD_PRELOAD="$shim" ASAN_OPTIONS=verify_asan_link_order=0 \
  "$bin" in.s >"$out" 2>"$err")
st=$?
want_fail 13 "size limit, named file"
[ "$(state)" = "$before" ] || fail "size limit, named file: files changed: $(temps)"

# A signal ignored from the start (nohup) stays ignored.
(trap '' HUP; exec env KILL=1:link LD_PRELOAD="$shim" ASAN_OPTIONS=verify_asan_link_order=0 \
  "$bin" in.s >"$out" 2>"$err")
st=$?
want_status 0 "SIGHUP ignored"
same in.asm in.s "SIGHUP ignored: output"
no_temps
