#!/usr/bin/env bash
# Whole-run golden test, for nestasm (tests/golden/) and nestasm-check (tests/check/) alike: lay
# out a case's files in a fresh folder, run the real binary there, and compare stdout, stderr,
# status and what the run changed in the folder with the case's expectations.
#
#   run.sh TOOL CASEDIR             compare
#   UPDATE_GOLDEN=1 run.sh ...      rewrite CASEDIR/expect.* from this run, for review with git diff
#
# A case folder holds:
#   in.s, ...       every file or folder not named below is laid out before the run, as it is
#   setup           shell commands run in the folder after the layout; optional
#   needs-nasm      for nestasm-check: the case shows NASM's verdict, and is skipped (status
#                   77) without NASM on PATH; the other cases run with --no-assemble, so that
#                   they say the same whether or not NASM is there
#   run             the command line, run by bash in the folder with $TOOL set;
#                   default: "$TOOL" in.s
#   expect.out      stdout (always present: it marks the case as having expectations)
#   expect.err      stderr; absent when empty
#   expect.status   exit status; absent when 0
#   expect.changes  what the run did to the folder as laid out, one path a line; absent when
#                   nothing: "+ " added, "- " removed, "~ " a file whose bytes changed, then the
#                   path as `find` lists it ("f in.asm", "d sub", "l a -> b"). An added or changed
#                   file ends in " = stdout" when its bytes are stdout's; otherwise its bytes are in
#   expect.files/   under the same path.
set -u
TOOL=$(realpath "$1")
case_dir=$(realpath "$2")
work=$(mktemp -d)
if [ "${TOOL##*/}" = nestasm-check ]; then
  if [ -f "$case_dir/needs-nasm" ]; then
    command -v nasm >/dev/null || { echo "SKIP: NASM is not on PATH"; rm -rf "$work"; exit 77; }
  else
    printf '#!/bin/sh\nexec "%s" --no-assemble "$@"\n' "$TOOL" >"$work/nestasm-check"
    chmod +x "$work/nestasm-check"
    TOOL=$work/nestasm-check
  fi
fi
export TOOL
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
mkdir "$work/dir" "$work/got" "$work/before" "$work/after" "$work/got/files"
cd "$work/dir" || exit 1

# A folder's paths (type, path, link target) in $2/listing and its regular files' bytes in $2/tree.
snap() {
  (cd "$1" && find . -mindepth 1 \( -type l -printf 'l %P -> %l\n' \) -o -printf '%y %P\n') |
    LC_ALL=C sort >"$2/listing"
  mkdir "$2/tree"
  (cd "$1" && find . -type f -print0) | while IFS= read -r -d '' f; do
    mkdir -p "$2/tree/$(dirname "$f")"
    cp "$1/$f" "$2/tree/$f"
  done
}

# The change lines between two snaps, in path order.
changes() {
  {
    LC_ALL=C comm -13 "$1/listing" "$2/listing" | sed 's/^/+ /'
    LC_ALL=C comm -23 "$1/listing" "$2/listing" | sed 's/^/- /'
    LC_ALL=C comm -12 "$1/listing" "$2/listing" | sed -n 's/^f //p' | while IFS= read -r p; do
      cmp -s "$1/tree/$p" "$2/tree/$p" || echo "~ f $p"
    done
  } | LC_ALL=C sort -k3 -k1,1
}

shopt -s dotglob nullglob
for f in "$case_dir"/*; do
  case ${f##*/} in setup | run | needs-nasm | expect.*) ;; *) cp -a "$f" . ;; esac
done
shopt -u dotglob nullglob
if [ -f "$case_dir/setup" ] && ! bash "$case_dir/setup"; then
  echo "setup failed in $case_dir" >&2
  exit 1
fi
snap . "$work/before"
cmd='"$TOOL" in.s'
[ -f "$case_dir/run" ] && cmd=$(cat "$case_dir/run")
bash -c "$cmd" </dev/null >"$work/got/out" 2>"$work/got/err"
echo $? >"$work/got/status"
snap . "$work/after"
# Added and changed files are told apart by whether stdout holds their bytes.
changes "$work/before" "$work/after" | while IFS= read -r line; do
  case $line in
    '+ f '* | '~ f '*)
      p=${line#? f }
      if cmp -s "$work/after/tree/$p" "$work/got/out"; then
        line="$line = stdout"
      else
        mkdir -p "$work/got/files/$(dirname "$p")"
        cp "$work/after/tree/$p" "$work/got/files/$p"
      fi
      ;;
  esac
  printf '%s\n' "$line"
done >"$work/got/changes"

if [ -n "${UPDATE_GOLDEN:-}" ]; then
  cp "$work/got/out" "$case_dir/expect.out"
  rm -rf "$case_dir/expect.err" "$case_dir/expect.status" "$case_dir/expect.changes" \
    "$case_dir/expect.files"
  [ -s "$work/got/err" ] && cp "$work/got/err" "$case_dir/expect.err"
  [ "$(cat "$work/got/status")" = 0 ] || cp "$work/got/status" "$case_dir/expect.status"
  [ -s "$work/got/changes" ] && cp "$work/got/changes" "$case_dir/expect.changes"
  [ -n "$(ls -A "$work/got/files")" ] && cp -a "$work/got/files" "$case_dir/expect.files"
  echo "updated the expectations in $case_dir"
  exit 0
fi
if [ ! -f "$case_dir/expect.out" ]; then
  echo "no expectations in $case_dir; run with UPDATE_GOLDEN=1 and review them" >&2
  exit 1
fi

# An absent expectation is its default: empty, status 0, nothing changed.
mkdir "$work/want"
echo 0 >"$work/want/status"
: >"$work/want/err"
: >"$work/want/changes"
mkdir "$work/want/files"
cp "$case_dir/expect.out" "$work/want/out"
for f in status err changes; do
  [ -f "$case_dir/expect.$f" ] && cp "$case_dir/expect.$f" "$work/want/$f"
done
[ -d "$case_dir/expect.files" ] && cp -a "$case_dir/expect.files/." "$work/want/files"
fail=0
for f in status out err changes; do
  if ! cmp -s "$work/want/$f" "$work/got/$f"; then
    echo "--- expect.$f differs (expected, then got):"
    diff -u --label expected --label got "$work/want/$f" "$work/got/$f" | head -40
    fail=1
  fi
done
if ! diff -r -q "$work/want/files" "$work/got/files" >/dev/null 2>&1; then
  echo "--- expect.files differs (expected, then got):"
  diff -r -u "$work/want/files" "$work/got/files" | head -60
  fail=1
fi
exit $fail
