#!/usr/bin/env bash
# Runs one robust case (a file in cases/) in a fresh folder, with the checks the cases share:
# hostile inputs and failing files against the real binary, where every run must end with its
# defined status and lose nothing.
#
#   lib.sh NESTASM GEN CASE.sh      GEN is robust_gen; exit 0 pass, 1 fail, 77 skipped
#
# A case is a plain script run in the folder. Its line "# also: tmpfile sharedmap" names the
# refuse shim's ways (REFUSE=...) it runs under once more; CMake reads that line.
set -u
bin=$(realpath "$1")
gen=$(realpath "$2")
case_file=$(realpath "$3")
case=$(basename "$case_file" .sh)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/d"
cd "$work/d" || exit 1
out=$work/out
err=$work/err
bad=0

fail() {
  echo "FAIL [$case]: $*"
  bad=1
}

# The binary with stdout and stderr kept aside; its status in $st.
run() {
  "$bin" "$@" >"$out" 2>"$err"
  st=$?
}

# The same with no file allowed past $1 KiB, and SIGXFSZ ignored so that the write fails instead.
run_limited() {
  local kib=$1
  shift
  (trap '' XFSZ; ulimit -f "$kib"; exec "$bin" "$@" >"$out" 2>"$err")
  st=$?
}

# The message of status $1, "\n" included, from the translator's table.
msg_of() { "$gen" msg "$1"; }

want_status() { [ "$st" = "$1" ] || fail "status $st, want $1"; }
want_quiet() { [ ! -s "$out" ] || fail "stdout not empty on status $st"; }
want_noerr() { [ ! -s "$err" ] || fail "stderr: $(head -c 80 "$err" | od -An -c | head -n 2)"; }
same() { cmp -s "$1" "$2" || fail "$3: $1 and $2 differ"; }

# A failed run: its status, its one message, nothing on stdout.
want_fail() {
  want_status "$1"
  want_quiet
  msg_of "$1" | cmp -s - "$err" || fail "stderr is not \"$(msg_of "$1")\": $(head -c 80 "$err")"
}

# Every path in the folder with its type, link target and checksum, to show nothing changed.
state() {
  { find . -mindepth 1 -printf '%y %p %l\n'; find . -type f -exec cksum {} +; } | LC_ALL=C sort
}

# The folder is as $before, taken with state, says it was; $1 tells which run failed it.
want_unchanged() {
  [ "$(state)" = "$before" ] || fail "${1:+$1: }files changed: $(state)"
}

# N bytes of one character.
fill() { head -c "$1" /dev/zero | tr '\0' "$2"; }

# Input whose output is several lines, and what it must translate to.
two_files() {
  printf 'while ecx != 0\n& if EAX > 7\n& & inc ebx\nend\n' >in.s
  printf '%s\n' .while_head_0: 'cmp ecx, 0' 'je .while_end_1' 'cmp eax, 7' 'jle .if_else_2' \
    'inc ebx' .if_else_2: .if_end_3: 'jmp .while_head_0' .while_end_1: >want
}

# Under the refuse shim, the shim must have refused something, or the run tested the usual way.
if [ -n "${REFUSE:-}" ]; then
  export REFUSE_LOG=$work/refused
  : >"$REFUSE_LOG"
fi
. "$case_file"
if [ -n "${REFUSE:-}" ] && [ ! -s "$REFUSE_LOG" ]; then
  fail "the shim never refused ($REFUSE): was it loaded?"
fi
exit $bad
