#!/usr/bin/env bash
# Runs the README's command recipes (examples/recipes/*.sh, which the README quotes) as a user
# would, with the built programs first on PATH, in a scratch folder.
#
#   recipes.sh SOURCE_DIR BUILD_DIR      exit 0 pass, 1 fail, 77 skipped
set -u
src=$(realpath "$1")
build=$(realpath "$2")
for t in nasm ld; do command -v "$t" >/dev/null || { echo "SKIP: no $t"; exit 77; }; done
[ -x "$build/nestasm-check" ] || { echo "SKIP: no nestasm-check built"; exit 77; }
export PATH=$build:$PATH
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bad=0
fail() { echo "FAIL: $*"; bad=1; }

# Feeding the output to NASM: examples/gcd.s ends with status 21.
mkdir "$work/nasm" && cd "$work/nasm" || exit 1
cp "$src/examples/gcd.s" prog.s
sh "$src/examples/recipes/nasm.sh"
st=$?
[ "$st" = 21 ] || fail "nasm.sh: the program ended with $st, not 21"

# Source lines for NASM: the program still runs, and NASM's own messages name prog.s.
mkdir "$work/lines" && cd "$work/lines" || exit 1
cp "$src/examples/gcd.s" prog.s
sh "$src/examples/recipes/lines.sh" || fail "lines.sh failed"
./prog
st=$?
[ "$st" = 21 ] || fail "lines.sh: the program ended with $st, not 21"
printf '_start:\n        mov eax, 1\nif eax == 1\n& movv ebx, 2\nend\n' >prog.s
sh "$src/examples/recipes/lines.sh" 2>err
grep -q '^prog.s:4: error' err || fail "lines.sh: NASM's message does not name prog.s:4: $(cat err)"

# Translating many files at once: each failure is named, and the status says some failed.
mkdir "$work/many" && cd "$work/many" || exit 1
cp "$src/examples/gcd.s" a.s
printf 'nop\nend\n' >b.s
cp "$src/examples/count.s" c.s
sh "$src/examples/recipes/parallel.sh" 2>err
st=$?
[ "$st" = 123 ] || fail "parallel.sh: status $st, not 123"
[ "$(cat err)" = "b.s: end bad" ] || fail "parallel.sh: stderr is \"$(cat err)\""
[ -s a.asm ] && [ -s c.asm ] && [ ! -e b.asm ] || fail "parallel.sh: files left: $(ls)"
exit $bad
