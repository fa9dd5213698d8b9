#!/usr/bin/env bash
# Hostile inputs and failing files against the real binary, one case per run, each in a fresh
# folder: every run must end with its defined status and lose nothing.
#
#   robust.sh NESTASM GEN CASE      GEN is robust_gen; exit 0 pass, 1 fail, 77 skipped
set -u
bin=$(realpath "$1")
gen=$(realpath "$2")
case=$3
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

msg_of() {
  case $1 in
    1) echo "no input" ;; 2) echo "cant open" ;; 3) echo "bad if" ;; 4 | 7 | 10) echo "imm lhs" ;;
    5) echo "elif bad" ;; 6) echo "bad elif" ;; 8) echo "else bad" ;; 9) echo "bad while" ;;
    11) echo "end bad" ;; 12) echo "big num" ;; 13) echo "cant write" ;; 14) echo "same file" ;;
  esac
}

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

# N bytes of one character.
fill() { head -c "$1" /dev/zero | tr '\0' "$2"; }

case_hugeline() {
  # One 20 MB line, no line feed, indented and behind markers: passed through as its body.
  { printf '  && '; fill 20000000 x; printf '   '; } >big.s
  { fill 20000000 x; echo; } >want
  run big.s
  want_status 0
  want_noerr
  same "$out" want stdout
  same big.asm want "output file"
  rm -f big.s big.asm
  # A 20 MB right operand goes into the compare line whole.
  { printf 'if eax == '; fill 20000000 y; echo; } >cond.s
  { printf 'cmp eax, '; fill 20000000 y; echo; printf '%s\n' 'jne .if_else_0' .if_else_0: .if_end_1:
  } >want
  run cond.s
  want_status 0
  same cond.asm want "output file"
  rm -f cond.s cond.asm
  # 20 MB searched for an operator that is not there.
  { printf 'while '; fill 20000000 z; echo; } >none.s
  run none.s
  want_fail 9
  [ ! -e none.asm ] || fail "none.asm written by a failed run"
}

case_deep() {
  # 200,000 blocks open at once, closed innermost first by as many ends, or by the end of input.
  awk 'BEGIN {
    for (i = 0; i < 200000; i++) { print "cmp eax, 1"; print "jne .if_else_" 2 * i }
    for (i = 199999; i >= 0; i--) { print ".if_else_" 2 * i ":"; print ".if_end_" 2 * i + 1 ":" }
  }' >want
  { yes 'if eax == 1' | head -n 200000; yes end | head -n 200000; } >deep.s
  run deep.s
  want_status 0
  want_noerr
  same "$out" want stdout
  same deep.asm want "output file"
  yes 'if eax == 1' | head -n 200000 >open.s
  run open.s
  want_status 0
  same open.asm want "output file (closed at end of input)"
}

case_random() {
  # 5 MB of arbitrary bytes, the same every time. They hold no statement line, so every input
  # line comes out as exactly one output line.
  "$gen" 5000000 20240601 >rnd.s
  run rnd.s
  want_status 0
  want_noerr
  same "$out" rnd.asm "stdout and output file"
  local lines
  lines=$(($(wc -l <rnd.s) + $([ -n "$(tail -c 1 rnd.s)" ] && echo 1 || echo 0)))
  [ "$(wc -l <rnd.asm)" -eq "$lines" ] || fail "$(wc -l <rnd.asm) output lines for $lines in"
  # Line feeds only: every byte value else inside lines, however random.
  "$gen" 5000000 7 | tr '\n' 'n' >one.s
  run one.s
  want_status 0
  [ "$(wc -l <one.asm)" -eq 1 ] || fail "a line feed free input gave more than one line"
}

case_bytes() {
  # NUL and bytes above 0x7F are ordinary bytes: not blanks, not digits, not letters to lower.
  # Each input line (printf format), then what it gives; blocks still open close at the end.
  local -a pairs=(
    'mov e\000ax, 1'            'mov e\000ax, 1'
    '\377\376 plain \200  '     '\377\376 plain \200'
    '\240 nbsp\240'             '\240 nbsp\240'
    'if \311AX == \000'         'cmp \311ax, \000\njne .if_else_0'
    '& while \377\377 UGT 1\000' '.while_head_2:\ncmp \377\377, 1\000\njbe .while_end_3'
    '& & \000'                  '\000'
    '& end\000'                 'end\000'
    '&\000& nop'                '\000& nop'
    '& end \000'                'jmp .while_head_2\n.while_end_3:'
    'IF\240eax == 1'            'IF\240eax == 1'
    'if 5\000 == 5'             'cmp 5\000, 5\njne .if_else_4'
    'end'                       '.if_else_4:\n.if_end_5:'
    '\000if eax == 1'           '\000if eax == 1\n.if_else_0:\n.if_end_1:'
  )
  local i
  : >in.s
  : >want
  for ((i = 0; i < ${#pairs[@]}; i += 2)); do
    printf "${pairs[i]}\n" >>in.s
    printf "${pairs[i + 1]}\n" >>want
  done
  run in.s
  want_status 0
  want_noerr
  same in.asm want "output file"
  same "$out" want stdout
  # A NUL ends no operand: "5\0" is no number, so this is no constant condition.
  printf 'if 5 == 5\000\n' >nul.s
  run nul.s
  want_fail 4
  [ ! -e nul.asm ] || fail "nul.asm written by a failed run"
}

case_markers() {
  # A line of only markers is blank; it stays as it was and closes nothing at its depth.
  { echo 'if eax == 1'; fill 100000 '&'; echo; printf '& & &  \nnop\n'; } >only.s
  { printf 'cmp eax, 1\njne .if_else_0\n'; fill 100000 '&'
    printf '\n& & &  \nnop\n.if_else_0:\n.if_end_1:\n'; } >want
  run only.s
  want_status 0
  same only.asm want "output file"
  # 10,000 markers, with and without spaces between them, before statements.
  { fill 10000 '&'; echo 'if eax == 1'; fill 10000 '&'; echo ' & nop'
    for ((i = 0; i < 10000; i++)); do printf '& '; done; echo end; } >deep.s
  printf 'cmp eax, 1\njne .if_else_0\nnop\n.if_else_0:\n.if_end_1:\n' >want
  run deep.s
  want_status 0
  same deep.asm want "output file"
  { echo 'if eax == 1'; fill 10000 '&'; echo end; } >stray.s
  run stray.s
  want_fail 11
}

case_dirinput() {
  mkdir in.s prog
  local before
  before=$(state)
  run in.s
  want_fail 2
  run prog
  want_fail 2
  [ "$(state)" = "$before" ] || fail "files changed: $(state)"
}

case_outdir() {
  printf 'if eax == 1\n& nop\nend\n' >in.s
  mkdir in.asm
  local before
  before=$(state)
  run in.s
  want_fail 13
  [ "$(state)" = "$before" ] || fail "files changed: $(state)"
}

# Input whose output is several lines, and what it must translate to.
two_files() {
  printf 'while ecx != 0\n& if EAX > 7\n& & inc ebx\nend\n' >in.s
  printf '%s\n' .while_head_0: 'cmp ecx, 0' 'je .while_end_1' 'cmp eax, 7' 'jle .if_else_2' \
    'inc ebx' .if_else_2: .if_end_3: 'jmp .while_head_0' .while_end_1: >want
}

case_devfull() {
  [ -w /dev/full ] || exit 77
  two_files
  echo old >in.asm
  # The file is written in full before the echo fails, and is then the run's result.
  "$bin" in.s >/dev/full 2>"$err"
  st=$?
  want_status 13
  msg_of 13 | cmp -s - "$err" || fail "stderr: $(cat "$err")"
  same in.asm want "output file"
}

case_closed() {
  two_files
  "$bin" in.s >&- 2>"$err"
  st=$?
  want_status 13
  msg_of 13 | cmp -s - "$err" || fail "stderr: $(cat "$err")"
  # Complete, and once: a closed stdout must not become the output file's descriptor.
  same in.asm want "output file"
  # A reader that leaves early: SIGPIPE (141) or status 13, and the file complete either way.
  yes 'mov eax, 1' | head -n 200000 >big.s
  "$bin" big.s 2>"$err" | head -c 1 >/dev/null
  st=${PIPESTATUS[0]}
  [ "$st" = 141 ] || [ "$st" = 13 ] || fail "status $st with a reader gone"
  same big.s big.asm "output file with a reader gone"
}

case_samefile() {
  printf 'if eax == 1\n& nop\nend\n' >x.asm
  cp x.asm keep
  local before
  for spell in x.asm ./x.asm; do
    before=$(state)
    run "$spell"
    want_fail 14
    [ "$(state)" = "$before" ] || fail "$spell: files changed"
  done
  cp keep p.s
  ln -s p.s p.asm
  cp keep q.s
  ln q.s q.asm
  mkdir sub
  cp keep sub/r.s
  ln -s "$PWD/sub/r.s" r.asm
  ln -s ../r.asm sub/r.asm
  for spell in p.s q.s sub/r.s; do
    before=$(state)
    run "$spell"
    want_fail 14
    [ "$(state)" = "$before" ] || fail "$spell: files changed"
  done
}

# Each statement error, on the last line behind open blocks, with and without an old output file.
case_untouched() {
  local -a inputs=(
    '3:if eax'
    '4:if 5 == eax'
    '5:elif eax == 1'
    '6:if eax == 1\nelif'
    '7:if eax == 1\nelif 1 == eax'
    '8:else'
    '9:while'
    '10:while 0x1 != ecx'
    '11:& end'
    '12:while 99999999999999999999 == 1'
  )
  local before e
  "$gen" 1000 3 >old
  for e in "${inputs[@]}"; do
    printf "while ecx != 0\n& if eax == 1\n& & nop\n& end\n%b\n" "${e#*:}" >in.s
    for keep in yes no; do
      rm -f in.asm
      [ $keep = yes ] && cp old in.asm
      before=$(state)
      run in.s
      want_fail "${e%%:*}"
      [ "$(state)" = "$before" ] || fail "status ${e%%:*}, old file $keep: files changed"
    done
  done
  # Statuses 1 and 2 stop before any output path is looked at.
  cp old in.asm
  cp old missing.asm
  mkdir dir.s
  cp old dir.asm
  before=$(state)
  run
  want_fail 1
  run missing.s
  want_fail 2
  run nothere.s
  want_fail 2
  run dir.s
  want_fail 2
  [ "$(state)" = "$before" ] || fail "status 1 or 2: files changed: $(state)"
  # Written through a link to a device that is always full: the link stays as it was.
  if [ -w /dev/full ]; then
    printf 'nop\n' >full.s
    ln -s /dev/full full.asm
    before=$(state)
    run full.s
    want_fail 13
  fi
  [ "$(state)" = "$before" ] || fail "files changed: $(state)"
}

# The output file breaks off while being written: a file that did not exist is not left behind.
case_partial() {
  yes 'mov eax, 1' | head -n 1000 >in.s
  local before
  before=$(state)
  (trap '' XFSZ; ulimit -f 1; exec "$bin" in.s >"$out" 2>"$err")
  st=$?
  want_fail 13
  [ "$(state)" = "$before" ] || fail "files changed: $(state)"
}

# The same with an old output file there: it must survive the failed write byte for byte.
case_keepold() {
  yes 'mov eax, 1' | head -n 1000 >in.s
  "$gen" 1000 3 >in.asm
  local before
  before=$(state)
  (trap '' XFSZ; ulimit -f 1; exec "$bin" in.s >"$out" 2>"$err")
  st=$?
  want_fail 13
  [ "$(state)" = "$before" ] || fail "files changed: $(state)"
}

# An output that can be written only in part while it is being made: the run fails like any
# failed write, and the old file and the folder are as they were.
case_outgrow() {
  { yes 'while eax == 1' | head -n 100000; yes end | head -n 100000; } >in.s
  "$gen" 1000 5 >in.asm
  local before
  before=$(state)
  # Room for twice the input, not for the four times that the output needs.
  local kib=$(($(stat -c %s in.s) * 2 / 1024))
  (trap '' XFSZ; ulimit -f "$kib"; exec "$bin" in.s >"$out" 2>"$err")
  st=$?
  want_fail 13
  [ "$(state)" = "$before" ] || fail "files changed: $(state)"
}

case_replace() {
  # A new output takes the old one's place: its mode stays, a symbolic link still points where it
  # did, a hard link shared with another name sees the new text, and no temporary file is left.
  printf 'nop\n' >in.s
  printf 'old\n' >in.asm
  chmod 640 in.asm
  run in.s
  want_status 0
  [ "$(stat -c %a in.asm)" = 640 ] || fail "mode of in.asm became $(stat -c %a in.asm)"
  same in.asm "$out" "replaced file"

  mkdir real
  printf 'old\n' >real/t.asm
  ln -s real/t.asm ln.asm
  cp in.s ln.s
  run ln.s
  want_status 0
  [ -L ln.asm ] || fail "ln.asm is no longer a link"
  same real/t.asm "$out" "file behind the link"

  printf 'old\n' >hard.asm
  ln hard.asm other
  cp in.s hard.s
  run hard.s
  want_status 0
  same other "$out" "second name of a hard link"
  [ "$(find . -name '*.tmp-*' | wc -l)" = 0 ] || fail "temporary files left: $(find . -name '*.tmp-*')"
}

if ! declare -F "case_$case" >/dev/null; then
  echo "no case $case"
  exit 1
fi
"case_$case"
exit $bad
