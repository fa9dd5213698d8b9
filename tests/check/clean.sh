#!/usr/bin/env bash
# The shipped examples and the end-to-end programs are correct code: nestasm-check, with
# warnings made errors, must accept each of them without a single diagnostic.
# usage: clean.sh CHECKER SOURCE_DIR
set -u
checker=$1
src=$2
shopt -s nullglob
files=("$src"/examples/*.s "$src"/tests/e2e/progs/*.s)
[ "${#files[@]}" -gt 0 ] || { echo "FAIL: no programs found under $src"; exit 1; }
out=$("$checker" -Werror "${files[@]}")
rc=$?
if [ "$rc" -ne 0 ] || [ -n "$out" ]; then
  printf '%s\n' "$out"
  echo "FAIL: status $rc; expected no diagnostics and status 0"
  exit 1
fi
echo "ok: ${#files[@]} programs, no diagnostics"
