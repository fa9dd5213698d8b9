# Shared by the robust cases in cases/: each runs the real binary in a fresh folder and checks
# the status, the message and every file left.
#
#   bash cases/NAME.sh NESTASM GEN TOOL SHIM    exit 0 pass, 1 fail, 77 skipped
set -u
bin=$(realpath "$1")
gen=$(realpath "$2")
tool=$(realpath "$3")
shim=$(realpath "$4")
case=$(basename "$0" .sh)
work=$(mktemp -d)
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

skip() {
  echo "SKIP [$case]: $*"
  exit 77
}

# The binary with stdout and stderr kept aside; its status in $st.
run() {
  "$bin" "$@" >"$out" 2>"$err"
  st=$?
}

# The same with the shim loaded; the shim's settings (REFUSE, KILL, SHRINK) come before the
# arguments: shimmed REFUSE=close -- in.s
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

msg_of() {
  case $1 in
    1) echo "no input" ;; 2) echo "cant open" ;; 3) echo "bad if" ;; 4 | 7 | 10) echo "imm lhs" ;;
    5) echo "elif bad" ;; 6) echo "bad elif" ;; 8) echo "else bad" ;; 9) echo "bad while" ;;
    11) echo "end bad" ;; 12) echo "big num" ;; 13) echo "cant write" ;; 14) echo "same file" ;;
    15) echo "no memory" ;;
  esac
}

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

# Every path in the folder with its type, link target, owner, mode and checksum, to show
# nothing changed.
state() {
  { find . -mindepth 1 -printf '%y %p %l %u %g %m %n\n'; find . -type f -exec cksum {} +; } |
    LC_ALL=C sort
}

# Temporary files left in the folder.
temps() { find . -name '*.tmp-*'; }
no_temps() { [ -z "$(temps)" ] || fail "${1:+$1: }temporary files left: $(temps | head -c 300)"; }

# N bytes of one character.
fill() { head -c "$1" /dev/zero | tr '\0' "$2"; }

# Lines of plain text, passed through unchanged: N lines of "mov eax, TAG".
plain() { yes "mov eax, $2" | head -n "$1"; }

need_root() { [ "$(id -u)" = 0 ] || skip "needs root"; }

# The binary built with AddressSanitizer reserves more address space than any memory limit.
is_asan() { grep -q __asan_init "$bin"; }
