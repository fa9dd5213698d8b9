#!/usr/bin/env bash
# Every warning that nestasm-check knows (its --help lists them, and -Wno- accepts them) is
# documented in the manual page and docs/checker.md, and -Wno- refuses a name it does not know.
# usage: names.sh CHECKER SOURCE_DIR
set -u
checker=$1
src=$2
fail() { echo "FAIL: $*"; exit 1; }
names=$("$checker" --help | sed -n '/^Warnings:/,/^$/p' | sed 's/^Warnings://' | tr -s ' \n' '\n' | grep .)
[ "$(printf '%s\n' "$names" | wc -l)" -ge 20 ] || fail "--help lists fewer than 20 warnings: $names"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
echo nop > "$tmp/ok.s"
for n in $names; do
  "$checker" "-Wno-$n" "$tmp/ok.s" >/dev/null 2>&1 || fail "-Wno-$n is refused"
  grep -q "^\.B $n\$" "$src/nestasm-check.1" || fail "$n is not an entry of nestasm-check.1"
  grep -q "| \`$n\` |" "$src/docs/checker.md" || fail "$n is not in docs/checker.md's table of warnings"
done
"$checker" -Wno-no-such-warning "$tmp/ok.s" >/dev/null 2>&1
[ $? -eq 2 ] || fail "an unknown warning name is not refused with status 2"
echo "ok: $(printf '%s\n' "$names" | wc -l) warnings, each documented"
