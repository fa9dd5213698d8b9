#!/bin/bash
# Builds examples/make in a scratch copy as a user would: a parallel build, an incremental
# rebuild, a source nestasm rejects, a translation NASM rejects, and `make check`.
#
# usage: make_example.sh NESTASM EXAMPLE_DIR [NESTASM_CHECK]
# Without NESTASM_CHECK (or with an empty one) the `make check` step is skipped, saying so.
# Exit 77 (skipped) when make, nasm or ld is missing.
set -u
tool=$1
example=$2
checker=${3:-}

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }
for t in make nasm ld; do command -v "$t" >/dev/null || skip "$t is not installed"; done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/work" "$tmp/ref" && cp -R "$example/." "$tmp/work" || fail "cannot copy $example"
cd "$tmp/work" || fail "no work folder"
rm -f ./*.asm ./*.o gcd     # leftovers of a build in the source tree
srcs="main numlib print data"

# run_make LOG ARGS...: runs make with nestasm pointed at the binary under test; status in $rc.
run_make() {
  local log=$1; shift
  make NESTASM="$tool" "$@" > "$log" 2>&1
  rc=$?
}
# The sources that LOG shows translated, or assembled, as sorted words.
translated() { sed -n "s|^$tool \([a-z]*\)\.s > /dev/null\$|\1|p" "$1" | sort | tr '\n' ' '; }
assembled() { sed -n 's|^nasm -f elf64 -o \([a-z]*\)\.o \1\.asm$|\1|p' "$1" | sort | tr '\n' ' '; }

# 1. A parallel build from scratch, and the program it makes.
run_make build.log -j4
[ "$rc" -eq 0 ] || { cat build.log; fail "make -j4 ended with status $rc"; }
[ "$(translated build.log)" = "data main numlib print " ] || { cat build.log; fail "not every source was translated once"; }
[ "$(assembled build.log)" = "data main numlib print " ] || { cat build.log; fail "not every .asm was assembled once"; }
for s in $srcs; do
  [ -s "$s.asm" ] || fail "$s.asm was not kept"
  cp "$s.s" "$tmp/ref/" && "$tool" "$tmp/ref/$s.s" > /dev/null || fail "nestasm rejects $s.s"
  cmp -s "$s.asm" "$tmp/ref/$s.asm" || fail "$s.asm is not nestasm's translation of $s.s"
done
out=$(timeout 20 ./gcd)
status=$?
[ "$out" = "gcd(1071 462 2520 3948 5103) = 21" ] || fail "the program wrote '$out'"
[ "$status" -eq 21 ] || fail "the program ended with status $status, not 21"

# 2. Nothing to do right after; then one touched source is translated and assembled again, alone.
# Every file is first dated a minute back, so that the touch is newer whatever the clock's grain.
run_make noop.log
[ "$rc" -eq 0 ] && grep -q "Nothing to be done for 'all'" noop.log || { cat noop.log; fail "a second make did work"; }
touch -d '1 minute ago' ./*
stamp() { stat -c '%n %Y' main.asm main.o data.asm data.o print.asm print.o; }
before=$(stamp)
touch numlib.s
run_make incr.log
[ "$rc" -eq 0 ] || { cat incr.log; fail "the incremental make ended with status $rc"; }
[ "$(translated incr.log)" = "numlib " ] || { cat incr.log; fail "the incremental make translated other sources"; }
[ "$(assembled incr.log)" = "numlib " ] || { cat incr.log; fail "the incremental make assembled other sources"; }
grep -q '^ld -o gcd ' incr.log || { cat incr.log; fail "the incremental make did not link again"; }
[ "$(stamp)" = "$before" ] || fail "files of untouched sources changed"
[ numlib.s -nt numlib.asm ] && fail "numlib.asm is older than numlib.s"
[ "$(timeout 20 ./gcd)" = "gcd(1071 462 2520 3948 5103) = 21" ] || fail "the rebuilt program is wrong"

# 3. A source nestasm rejects: make fails with nestasm's message, every other .asm stays.
cp print.s "$tmp/print.good"
printf 'end\n' >> print.s                      # an end with no open block: "end bad", status 11
make clean > /dev/null 2>&1
run_make bad.log -k -j4
[ "$rc" -ne 0 ] || { cat bad.log; fail "make succeeded on a source nestasm rejects"; }
grep -qx 'end bad' bad.log || { cat bad.log; fail "nestasm's message is not in make's output"; }
grep -q 'print\.asm\] Error 11' bad.log || { cat bad.log; fail "make does not name print.asm and status 11"; }
[ ! -e print.asm ] || fail "a print.asm was left for the rejected source"
for s in main numlib data; do
  [ -s "$s.asm" ] || { cat bad.log; fail "$s.asm was removed after the failed build"; }
done
[ ! -e gcd ] || fail "a program was linked from a rejected source"
cp "$tmp/print.good" print.s

# 4. A translation NASM rejects: its message names the .asm, and that file is there to read.
# A plain label inside a block splits NASM's local-label scope.
sed -i '/^& inc rdx$/a again:' print.s
run_make nasm.log
[ "$rc" -ne 0 ] || { cat nasm.log; fail "make succeeded on a translation NASM rejects"; }
grep -q "^print\.asm:[0-9]*: error: symbol \`print_str\.while_end_1' not defined" nasm.log ||
  { cat nasm.log; fail "NASM's message about print.asm is missing"; }
[ -s print.asm ] || fail "print.asm, named by NASM's message, was removed"
[ ! -e print.o ] || fail "a print.o was left by the failed assembly"
cp "$tmp/print.good" print.s

# 5. make check, with the checker under test.
if [ -z "$checker" ]; then
  echo "SKIPPED STEP: make check (no nestasm-check was built)"
else
  run_make check.log check NESTASM_CHECK="$checker"
  [ "$rc" -eq 0 ] || { cat check.log; fail "make check failed on the example's own sources"; }
  printf 'end\n' >> print.s
  run_make checkbad.log check NESTASM_CHECK="$checker"
  [ "$rc" -ne 0 ] || { cat checkbad.log; fail "make check passed a source with an unmatched end"; }
  cp "$tmp/print.good" print.s
  echo "ok: make check"
fi
echo "ok: make -j4 builds gcd (status 21); a touched source alone is redone; failures keep the other .asm files"
