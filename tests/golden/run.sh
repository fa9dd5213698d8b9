#!/usr/bin/env bash
# Whole-run golden test: lay out a case's files in a fresh folder, run the real binary there,
# and compare stdout, stderr, status and the folder afterwards with the case's expectations.
#
#   run.sh NESTASM CASEDIR          compare
#   UPDATE_GOLDEN=1 run.sh ...      rewrite CASEDIR/expect from this run, for review with git diff
#
# A case folder holds:
#   tree/     files (and symbolic links) laid out before the run; optional
#   setup     shell commands run in the folder before the run; optional
#   run       the command line, run by bash in the folder with $NESTASM set; default: "$NESTASM" in.s
#   expect/   stdout, stderr, status, listing (every path left in the folder) and tree/ (their bytes)
set -u
NESTASM=$(realpath "$1")
case_dir=$(realpath "$2")
export NESTASM
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
mkdir "$work/dir" "$work/got"
cd "$work/dir" || exit 1
[ -d "$case_dir/tree" ] && cp -a "$case_dir/tree/." .
[ -f "$case_dir/setup" ] && bash "$case_dir/setup"
cmd='"$NESTASM" in.s'
[ -f "$case_dir/run" ] && cmd=$(cat "$case_dir/run")
bash -c "$cmd" </dev/null >"$work/got/stdout" 2>"$work/got/stderr"
echo $? >"$work/got/status"
find . -mindepth 1 \( -type l -printf 'l %P -> %l\n' \) -o -printf '%y %P\n' | LC_ALL=C sort \
  >"$work/got/listing"
mkdir "$work/got/tree"
find . -type f -print0 | while IFS= read -r -d '' f; do
  mkdir -p "$work/got/tree/$(dirname "$f")"
  cp "$f" "$work/got/tree/$f"
done

if [ -n "${UPDATE_GOLDEN:-}" ]; then
  rm -rf "$case_dir/expect"
  cp -a "$work/got" "$case_dir/expect"
  echo "updated $case_dir/expect"
  exit 0
fi
if [ ! -d "$case_dir/expect" ]; then
  echo "no expectations in $case_dir; run with UPDATE_GOLDEN=1 and review them" >&2
  exit 1
fi
fail=0
for f in status stdout stderr listing; do
  if ! cmp -s "$case_dir/expect/$f" "$work/got/$f"; then
    echo "--- $f differs (expected, then got):"
    diff -u --label expected --label got "$case_dir/expect/$f" "$work/got/$f" | head -40
    fail=1
  fi
done
# git keeps no empty folder: a case that leaves no file has no expect/tree.
want_tree="$case_dir/expect/tree"
[ -d "$want_tree" ] || { want_tree="$work/none"; mkdir "$want_tree"; }
if ! diff -r -q "$want_tree" "$work/got/tree" >/dev/null 2>&1; then
  echo "--- files left in the folder differ:"
  diff -r -u "$want_tree" "$work/got/tree" | head -60
  fail=1
fi
exit $fail
