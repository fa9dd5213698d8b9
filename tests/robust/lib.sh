#!/usr/bin/env bash
# Runs one robust case (a file in cases/) in a fresh folder, with the checks the cases share:
# hostile inputs and failing files against the real binary, where every run must end with its
# defined status and lose nothing.
#
#   lib.sh NESTASM GEN CASE.sh [TOOL SHIM]
#
# GEN is robust_gen, TOOL robust_tool, SHIM the refuse shim; exit 0 pass, 1 fail, 77 skipped.
#
# A case is a plain script run in the folder. Its line "# also: tmpfile sendfile" names the
# refuse shim's ways (REFUSE=...) it runs under once more; CMake reads that line.
set -u
bin=$(realpath "$1")
gen=$(realpath "$2")
case_file=$(realpath "$3")
case=$(basename "$case_file" .sh)
tool=${4:+$(realpath "$4")}
shim=${5:+$(realpath "$5")}
work=$(mktemp -d)
# Commands a case adds to undo what outlives the folder (a mount, a process).
cleanups=()
trap 'cd /; for c in "${cleanups[@]}"; do eval "$c"; done; rm -rf "$work"' EXIT
mkdir "$work/d"
cd "$work/d" || exit 1
out=$work/out
err=$work/err
bad=0

fail() {
  echo "FAIL [$case]: $*"
  bad=1
}

# What the machine refuses the case (no root, no loop device) ends it as skipped, visibly.
skip() {
  echo "SKIP [$case]: $*"
  exit 77
}
need_root() { [ "$(id -u)" = 0 ] || skip "needs root"; }
# The binary built with AddressSanitizer reserves more address space than any memory limit.
is_asan() { grep -q __asan_init "$bin"; }

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

# The binary under the shim, its settings (REFUSE, KILL, FAILWRITE, PAUSE, SHRINK; see
# refuse.cc) before "--":  shimmed KILL=15:write -- in.s
shimmed() {
  local -a vars=()
  while [ "$1" != -- ]; do
    vars+=("$1")
    shift
  done
  shift
  env "${vars[@]}" LD_PRELOAD="$shim" ASAN_OPTIONS=verify_asan_link_order=0 "$bin" "$@" \
    >"$out" 2>"$err"
  st=$?
}

# The message of status $1, "\n" included, from the translator's table.
msg_of() { "$gen" msg "$1"; }

# $2, when given, tells which run it was.
want_status() { [ "$st" = "$1" ] || fail "status $st, want $1${2:+ ($2)}"; }
want_quiet() { [ ! -s "$out" ] || fail "stdout not empty on status $st"; }
want_noerr() { [ ! -s "$err" ] || fail "stderr: $(head -c 80 "$err" | od -An -c | head -n 2)"; }
same() { cmp -s "$1" "$2" || fail "$3: $1 and $2 differ"; }

# A failed run: its status, its one message, nothing on stdout.
want_fail() {
  want_status "$1" "${2:-}"
  want_quiet
  msg_of "$1" | cmp -s - "$err" ||
    fail "${2:+$2: }stderr is not \"$(msg_of "$1")\": $(head -c 80 "$err")"
}

# Every path in the folder with its type, link target, owner, group, mode, number of names and
# checksum, to show nothing changed.
state() {
  { find . -mindepth 1 -printf '%y %p %l %u %g %m %n\n'; find . -type f -exec cksum {} +; } |
    LC_ALL=C sort
}

# The folder is as $before, taken with state, says it was; $1 tells which run failed it.
want_unchanged() {
  [ "$(state)" = "$before" ] || fail "${1:+$1: }files changed: $(state)"
}

# N bytes of one character.
fill() { head -c "$1" /dev/zero | tr '\0' "$2"; }

# N plain lines "mov eax, TAG", passed through unchanged.
plain() { yes "mov eax, $2" | head -n "$1"; }

# Temporary files of the output left in the folder.
temps() { find . -name '*.tmp-*'; }
no_temps() { [ -z "$(temps)" ] || fail "${1:+$1: }temporary files left: $(temps | head -c 300)"; }

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
