#!/bin/bash
# Checks that every README block marked "<!-- from PATH -->" is byte for byte the file PATH,
# and that each file named on the command line has such a block.
# usage: readme_recipes.sh SOURCE_DIR FILE...
set -u
src=$1; shift
readme=$src/README.md
fail() { echo "FAIL: $*"; exit 1; }
[ -f "$readme" ] || fail "$readme is missing"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# Writes each marked block to $tmp/N and lists "N PATH" in $tmp/list; a marker not followed by a
# fence, or a fence left open, is an error of its own.
awk -v dir="$tmp" '
  inblock && /^```$/ { inblock = 0; close(out); next }
  inblock { print > out; next }
  want { if ($0 !~ /^```[a-z]*$/) { print "marker of " path " is not followed by a fence"; bad = 1 }
         else { n++; out = dir "/" n; printf "" > out; print n, path > (dir "/list"); inblock = 1 }
         want = 0; next }
  /^<!-- from [^ ]+ -->$/ { path = $3; want = 1 }
  END { if (inblock) { print "block of " path " is not closed"; bad = 1 } exit bad }' "$readme" ||
  fail "malformed marked block in README.md"
[ -s "$tmp/list" ] || fail "README.md has no marked block"

while read -r n path; do
  [ -f "$src/$path" ] || fail "README.md quotes $path, which does not exist"
  cmp -s "$tmp/$n" "$src/$path" || { diff "$src/$path" "$tmp/$n"; fail "README.md's block differs from $path"; }
done < "$tmp/list"
for f in "$@"; do
  grep -q " $f\$" "$tmp/list" || fail "README.md has no block marked as $f"
done
echo "ok: $(wc -l < "$tmp/list") README block(s) match their files"
