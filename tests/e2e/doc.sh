#!/bin/bash
# Renders the manual page with every groff warning turned on; any diagnostic fails the test.
# usage: doc.sh PAGE [STATUS:MESSAGE ...]   (default: nestasm's statuses 0 to 14)
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
[ "${#pairs[@]}" -gt 0 ] ||
  pairs=("0:" "1:no input" "2:cant open" "3:bad if" "4:imm lhs" "5:elif bad" "6:bad elif"
         "7:imm lhs" "8:else bad" "9:bad while" "10:imm lhs" "11:end bad" "12:big num"
         "13:cant write" "14:same file" "15:no memory")
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
