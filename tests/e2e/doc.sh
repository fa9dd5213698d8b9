#!/bin/bash
# Renders the manual page with every groff warning turned on; any diagnostic fails the test.
# usage: doc.sh PAGE STATUS:MESSAGE ...
# (nestasm's own statuses in nestasm.1 are held against its messages by common_test.)
set -u
page=$1
shift
command -v groff >/dev/null || { echo "SKIPPED: groff is not installed"; exit 77; }
[ -f "$page" ] || { echo "FAIL: $page is missing"; exit 1; }
err=$(groff -man -Tutf8 -ww -z "$page" 2>&1 >/dev/null)
rc=$?
if [ "$rc" -ne 0 ] || [ -n "$err" ]; then
  echo "FAIL: groff status $rc"
  printf '%s\n' "$err"
  exit 1
fi
# Every exit status must be documented, each with its message.
pairs=("$@")
[ "${#pairs[@]}" -gt 0 ] || pairs=("0:")
for pair in "${pairs[@]}"; do
  st=${pair%%:*} msg=${pair#*:}
  text=$(awk -v st="$st" '
    /^\.SH/ { inexit = ($0 ~ /EXIT STATUS/) }
    inexit && /^\.TP/ { getline; if ($0 == ".B " st) { getline; print; exit } }' "$page")
  [ -n "$text" ] || { echo "FAIL: status $st is not listed under EXIT STATUS"; exit 1; }
  [ -z "$msg" ] || [ "$text" = ".B $msg" ] || { echo "FAIL: status $st shows '$text', not '$msg'"; exit 1; }
done
for sec in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" FILES EXAMPLES; do
  grep -q "^\.SH \"\{0,1\}$sec" "$page" || { echo "FAIL: no $sec section"; exit 1; }
done
echo "ok: renders cleanly, statuses ${pairs[0]%%:*}-${pairs[-1]%%:*} documented"
