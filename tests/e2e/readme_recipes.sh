#!/bin/bash
# Checks that every block marked "<!-- from PATH -->" in README.md and the pages of docs/ is
# byte for byte the file PATH, and that each file named on the command line has such a block.
# usage: readme_recipes.sh SOURCE_DIR FILE...
set -u
src=$1; shift
fail() { echo "FAIL: $*"; exit 1; }
[ -f "$src/README.md" ] || fail "$src/README.md is missing"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
: > "$tmp/list"
for readme in "$src/README.md" "$src"/docs/*.md; do
page=${readme#"$src"/}
# Writes each marked block of the page to $tmp/N and lists "N PATH" in $tmp/page; a marker not followed by a
# fence, or a fence left open, is an error of its own.
awk -v dir="$tmp" '
  inblock && /^```$/ { inblock = 0; close(out); next }
  inblock { print > out; next }
  want { if ($0 !~ /^```[a-z]*$/) { print "marker of " path " is not followed by a fence"; bad = 1 }
         else { n++; out = dir "/" n; printf "" > out; print n, path > (dir "/page"); inblock = 1 }
         want = 0; next }
  /^<!-- from [^ ]+ -->$/ { path = $3; want = 1 }
  END { if (inblock) { print "block of " path " is not closed"; bad = 1 } exit bad }' "$readme" ||
  fail "malformed marked block in $page"
[ -f "$tmp/page" ] || continue
while read -r n path; do
  [ -f "$src/$path" ] || fail "$page quotes $path, which does not exist"
  cmp -s "$tmp/$n" "$src/$path" || { diff "$src/$path" "$tmp/$n"; fail "$page's block differs from $path"; }
  echo "$path" >> "$tmp/list"
done < "$tmp/page"
rm -f "$tmp/page" "$tmp"/[0-9]*
done
[ -s "$tmp/list" ] || fail "no page has a marked block"
for f in "$@"; do
  grep -qx "$f" "$tmp/list" || fail "no page has a block marked as $f"
done
echo "ok: $(wc -l < "$tmp/list") quoted block(s) match their files"
