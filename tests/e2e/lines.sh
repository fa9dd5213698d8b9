#!/bin/bash
# nestasm-check --lines: NASM's messages and the DWARF line table of `nasm -g -F dwarf` name the
# lines of the structured source, not those of the translation.
# usage: lines.sh NESTASM-CHECK NESTASM
# Exit 77 (skipped) when nasm, ld, objdump or addr2line is missing.
set -u
checker=$1
nestasm=$2
skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }
for t in nasm ld objdump addr2line; do command -v $t >/dev/null || skip "$t is not installed"; done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp" || fail "no temporary folder"

# The line of FILE that holds TEXT, which must occur once.
line_of() { grep -n -F -x -- "$2" "$1" | cut -d: -f1; }

# 1. A NASM error names the source line that holds the mistake.
cat > bad.s <<'S'
global _start
section .text
_start:
        mov ecx, 3
while ecx != 0
& dec ecx
& if ecx == 1
& & movv eax, 1
& end
end
        mov eax, 60
        syscall
S
"$checker" --no-assemble --lines bad.s > bad-lines.asm || fail "nestasm-check --lines failed on bad.s"
nasm -f elf64 -o bad.o bad-lines.asm 2> nasm.err && fail "nasm accepted a misspelt instruction"
want=$(line_of bad.s '& & movv eax, 1')
grep -q "^bad.s:$want: error:" nasm.err || { cat nasm.err; fail "nasm's error does not name bad.s:$want"; }
# Without the directives the same error names a line of the translation: what the test sees
# comes from the directives.
"$nestasm" bad.s > /dev/null || fail "nestasm failed on bad.s"
nasm -f elf64 -o bad.o bad.asm 2>&1 | grep -q "^bad.asm:" || fail "plain nasm output names no bad.asm line"
# nestasm-check has NASM assemble the translation itself, and shows its verdict at the line.
before=$(ls -A "$tmp")
"$checker" --brief -f elf64 bad.s > "$tmp.out" && fail "nestasm-check passed a misspelt instruction"
mv "$tmp.out" check.out
[ "$before" = "$(ls -A "$tmp" | grep -vx check.out)" ] ||
  fail "nestasm-check left files beside the source: $(ls -A "$tmp")"
[ "$(cat check.out)" = "bad.s:$want:5: error: parser: instruction expected [nasm]" ] ||
  { cat check.out; fail "nestasm-check does not show NASM's error at bad.s:$want"; }


# 2. The debug line table maps each instruction to its source line, generated ones included.
cat > sum.s <<'S'
global _start
section .text
_start:
        mov ecx, 5
        xor ebx, ebx
while ecx != 0
& add ebx, ecx
& dec ecx
end
        mov edi, ebx
        mov eax, 60
        syscall
S
"$checker" --no-assemble --lines sum.s > sum-lines.asm || fail "nestasm-check --lines failed on sum.s"
# What --lines adds are %line directives only; the rest is nestasm's translation.
"$nestasm" sum.s > plain.out || fail "nestasm failed on sum.s"
grep -v "^%line " sum-lines.asm | cmp -s - plain.out || fail "--lines changed the translation"
nasm -f elf64 -g -F dwarf -o sum.o sum-lines.asm || fail "nasm rejected the translation"
ld -o sum sum.o || fail "ld failed"
./sum
[ $? -eq 15 ] || fail "the program did not exit with 15"

objdump --dwarf=decodedline sum > table.txt || fail "objdump could not read the line table"
grep -q '^sum\.s ' table.txt || { cat table.txt; fail "the line table does not name sum.s"; }
# Address of the instruction whose disassembly matches a pattern.
addr_of() { objdump -d -M intel --no-show-raw-insn sum | awk -v p="$1" '$0 ~ p { sub(":", "", $1); print "0x" $1; exit }'; }
check() {  # PATTERN SOURCE-TEXT
  local a l want
  a=$(addr_of "$1")
  [ -n "$a" ] || fail "no instruction matches $1"
  l=$(addr2line -e sum "$a")
  want=$(line_of sum.s "$2")
  case $l in
    *sum.s:"$want") echo "ok: $1 at $a -> sum.s:$want" ;;
    *) fail "$1 at $a maps to $l, expected sum.s:$want ($2)" ;;
  esac
}
check 'cmp +ecx,0x0' 'while ecx != 0'
check 'add +ebx,ecx' '& add ebx, ecx'
check 'dec +ecx' '& dec ecx'
check 'jmp ' 'end'
check 'mov +edi,ebx' '        mov edi, ebx'
echo "ok: NASM's messages and the DWARF line table name the source lines"
