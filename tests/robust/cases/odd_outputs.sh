# Standard output that is a non-blocking pipe is waited on, not given up on; an output path that
# is a FIFO, a socket or a folder ends the run "cant write" at once, never waiting for a reader.
plain 100000 new >in.s   # 1.3 MB: many times what a pipe holds

# A reader that starts late, on a pipe whose writing end does not block.
"$tool" nonblock "$bin" in.s 2>"$err" | { sleep 1; cat; } >"$out"
st=${PIPESTATUS[0]}
want_status 0 "non-blocking stdout"
want_noerr
same "$out" in.s "stdout through a non-blocking pipe"
same in.asm in.s "output file"
rm in.asm

mkfifo fifo.asm
cp in.s fifo.s
"$tool" socket sock.asm || skip "cannot make a socket"
cp in.s sock.s
mkdir dir.asm
cp in.s dir.s
mkfifo far
ln -s far link.asm
cp in.s link.s
before=$(state)
for name in fifo sock dir link; do
  timeout 10 "$bin" $name.s >"$out" 2>"$err"
  st=$?
  want_fail 13 "$name"
  [ "$(state)" = "$before" ] || fail "$name: files changed"
done
