#!/bin/bash
# Translates one structured program, assembles, links and runs it, and checks the result its header states.
#
# usage: run.sh NESTASM PROGRAM.s [nasm|gas]
# Header lines of PROGRAM.s:
#   ; expect: status N     exit status the program must end with (required)
#   ; out: TEXT            one line the program must write to stdout (in order; none means no output)
# Exit 77 (skipped) when the assembler or the linker is missing.
set -u
tool=$1
src=$2
asm=${3:-nasm}

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }

case $asm in
  nasm) command -v nasm >/dev/null || skip "nasm is not installed" ;;
  gas) command -v as >/dev/null || skip "GNU as is not installed" ;;
  *) fail "unknown assembler $asm" ;;
esac
command -v ld >/dev/null || skip "ld is not installed"

want_status=$(sed -n 's/^; expect: status \([0-9][0-9]*\)[[:space:]]*$/\1/p' "$src")
# A header typo must not turn the check into one that cannot fail.
[ -n "$want_status" ] || fail "$src states no '; expect: status N'"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sed -n 's/^; out: \{0,1\}//p' "$src" > "$tmp/want.out"
cp "$src" "$tmp/prog.s"
cd "$tmp" || fail "no temporary folder"

"$tool" prog.s > echo.out 2> tool.err
rc=$?
[ "$rc" -eq 0 ] || fail "nestasm ended with status $rc: $(cat tool.err)"
[ -s tool.err ] && fail "nestasm wrote to stderr: $(cat tool.err)"
cmp -s echo.out prog.asm || fail "the echo differs from prog.asm"

if [ "$asm" = nasm ]; then
  nasm -f elf64 -o prog.o prog.asm || fail "nasm rejected the translation"
else
  # Only the hand-written directives and whole-line comments differ between the two assemblers;
  # every line the translator generated reaches `as` unchanged.
  { echo '.intel_syntax noprefix'
    sed -e '/^[[:space:]]*;/d' -e 's/^global /.globl /' -e 's/^section \.text$/.text/' prog.asm
  } > prog.gas.s
  as --64 -o prog.o prog.gas.s || fail "as rejected the translation"
fi
ld -o prog prog.o || fail "ld failed"

timeout 20 ./prog > got.out
status=$?
if ! cmp -s want.out got.out; then
  echo "--- expected stdout"; cat want.out
  echo "--- actual stdout"; cat got.out
  fail "stdout differs"
fi
[ "$status" -eq "$want_status" ] || fail "exit status $status, expected $want_status"
echo "ok: status $status, $(wc -l < got.out) line(s) of output"
