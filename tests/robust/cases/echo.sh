# The echo comes from the finished file: to a stdout the kernel copies to, and to one opened for
# appending, which it does not copy to (read back a window at a time). A file cut short by
# someone else once it has its name cannot be echoed whole: "cant write", never a short success.
plain 100000 new >in.s   # 1.3 MB: several windows

printf 'old\n' >"$out"
"$bin" in.s >>"$out" 2>"$err"
st=$?
want_status 0 "appended"
want_noerr
{ printf 'old\n'; cat in.s; } | cmp -s - "$out" || fail "appended: stdout is not old text + output"
same in.asm in.s "appended: output file"

# Stopped (SIGSTOP) once the staging file has its temporary name, cut to 300,000 bytes, past the
# first window, then let go on.
for how in copied appended; do
  rm -f in.asm
  : >"$out"
  if [ $how = copied ]; then
    env KILL=19:link LD_PRELOAD="$shim" ASAN_OPTIONS=verify_asan_link_order=0 "$bin" in.s \
      >"$out" 2>"$err" &
  else
    env KILL=19:link LD_PRELOAD="$shim" ASAN_OPTIONS=verify_asan_link_order=0 "$bin" in.s \
      >>"$out" 2>"$err" &
  fi
  pid=$!
  for _ in $(seq 100); do
    grep -q '^State:.*stopped' "/proc/$pid/status" 2>/dev/null && break
    sleep 0.1
  done
  grep -q '^State:.*stopped' "/proc/$pid/status" || fail "$how: the run did not stop"
  truncate -s 300000 ./.in.asm.tmp-*
  kill -CONT $pid
  wait $pid
  st=$?
  want_status 13 "$how, cut short"
  msg_of 13 | cmp -s - "$err" || fail "$how, cut short: stderr: $(head -c 80 "$err")"
  # What was echoed is a part of the output, no more than the file held.
  n=$(stat -c %s "$out")
  [ "$n" -le 300000 ] && cmp -s -n "$n" "$out" in.s || fail "$how, cut short: $n bytes echoed"
done
no_temps
