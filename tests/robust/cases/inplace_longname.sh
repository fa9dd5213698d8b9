# An output whose name leaves no room for a longer temporary name (248 bytes and more): it is
# still replaced by a new file, never written over, so a stopped run keeps the old one.
long=$(fill 251 n)  # the output's name is 255 bytes, the most a name can have
plain 2000 new >"$long.s"
"$gen" 3000 4 >"$long.asm"
ln -s "$long.asm" keep  # a second way to the old file must not be what is replaced
before=$(state)

# Stopped at the first and at the second write of the output: the old file as it was, or (the
# run past its last write) the complete new one.
for nth in 1 2; do
  shimmed KILL=15:write:$nth -- "$long.s"
  if [ "$st" = 0 ]; then
    same "$long.asm" "$long.s" "stopped at write $nth, status 0: output"
  else
    want_status 143 "stopped at write $nth"
    [ "$(state)" = "$before" ] || fail "stopped at write $nth: files changed"
  fi
  no_temps "stopped at write $nth"
  "$gen" 3000 4 >"$long.asm"
done

# A run that succeeds: a new file, not the old one written over, and no temporary file.
ino=$(stat -c %i "$long.asm")
run "$long.s"
want_status 0
want_noerr
same "$long.asm" "$long.s" "output"
same "$out" "$long.s" "stdout"
[ "$(stat -c %i "$long.asm")" != "$ino" ] || fail "written in place, not replaced"
no_temps
