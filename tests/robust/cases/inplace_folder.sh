# A user's output in a folder the user cannot write, and another owner's output that the user may
# write but cannot give away: no new file can take their place, so they are written in place,
# and put back whole when the write fails or the run is stopped.
need_root
command -v setpriv >/dev/null || skip "no setpriv"
as_user() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
as_user true || skip "setpriv cannot change user here"
chmod 755 "$work"
touch "$out" "$err"
chown 65534:65534 "$out" "$err"
mkdir ro
plain 4000 new >ro/in.s
"$gen" 30000 4 >"$work/old"

# As the user, with the shim's settings before "--".
user_run() {
  local -a vars=()
  while [ "$1" != -- ]; do
    vars+=("$1")
    shift
  done
  shift
  as_user env "${vars[@]}" "$@" >"$out" 2>"$err"
  st=$?
}

for owner in 65534 0; do
  reset() {
    rm -f ro/in.asm
    cp "$work/old" ro/in.asm
    chown $owner:$owner ro/in.asm
    chmod 666 ro/in.asm
    touch -d '2001-02-03 04:05:06' ro/in.asm
  }
  [ $owner = 0 ] && chmod 777 ro  # another owner's file in a folder the user can write
  reset
  before=$(state)
  user_run -- bash -c 'ulimit -f 40; exec "$0" ro/in.s' "$bin"
  want_fail 13 "owner $owner, size limit"
  [ "$(state)" = "$before" ] || fail "owner $owner, size limit: files changed"
  reset
  user_run LD_PRELOAD="$shim" ASAN_OPTIONS=verify_asan_link_order=0 KILL=15:write -- \
    "$bin" ro/in.s
  want_status 143 "owner $owner, stopped"
  [ "$(state)" = "$before" ] || fail "owner $owner, stopped: files changed"
  reset
  user_run -- "$bin" ro/in.s
  want_status 0 "owner $owner"
  same ro/in.asm ro/in.s "owner $owner: output"
  [ "$(stat -c '%u %a' ro/in.asm)" = "$owner 666" ] || fail "owner $owner: owner or mode changed"
  no_temps "owner $owner"
done
