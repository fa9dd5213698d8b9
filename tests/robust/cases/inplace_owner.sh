# Another user's output, replaced by root (as under `sudo make`): a new file with the old one's
# owner, group and mode takes its place at once, so a failed or stopped run keeps the old one and
# a successful one never shows a half-written file.
need_root
plain 4000 new >in.s
"$gen" 30000 4 >"$work/old"
reset() {
  rm -f in.asm
  cp "$work/old" in.asm
  chown 65534:65534 in.asm
  chmod 2640 in.asm
}
reset
before=$(state)

(ulimit -f 40; exec "$bin" in.s >"$out" 2>"$err")
st=$?
want_fail 13 "size limit"
[ "$(state)" = "$before" ] || fail "size limit: files changed"
reset

shimmed KILL=15:write -- in.s
want_status 143 "stopped"
[ "$(state)" = "$before" ] || fail "stopped: files changed"
reset

ino=$(stat -c %i in.asm)
run in.s
want_status 0
want_noerr
same in.asm in.s "output"
[ "$(stat -c '%u %g %a' in.asm)" = "65534 65534 2640" ] ||
  fail "owner, group and mode became $(stat -c '%u %g %a' in.asm)"
[ "$(stat -c %i in.asm)" != "$ino" ] || fail "written in place, not replaced"
no_temps
