# A signal the caller blocked stays blocked: one already waiting when the run starts does not
# end it when the signals are let through again after a name is made or moved.
[ -n "$tool" ] || skip "no robust_tool"
"$gen" 3000 4 >in.s
for sig in 10 15 2; do
  for old in none file; do
    rm -f in.asm
    [ "$old" = file ] && printf 'old\n' >in.asm
    "$tool" blocked "$sig" "$bin" in.s >"$out" 2>"$err"
    st=$?
    want_status 0 "signal $sig blocked and waiting, old output: $old"
    want_noerr
    same "$out" in.asm "signal $sig, old output $old: the echo and the file"
    no_temps "signal $sig, old output $old"
  done
done
