#!/usr/bin/env bash
# One golden case of nestasm-check: run it in a copy of the case folder and compare what it
# printed and its exit status with the case's expectations.
#
#   run.sh CHECKER CASEDIR              compare
#   UPDATE=1 run.sh CHECKER CASEDIR     rewrite the expectations from this run; review with git diff
#
# A case folder holds in.s (and any other input), optionally `args` (the command line after the
# program name, split by bash; default: in.s), and the expectations: `stdout`, `status`, and
# `stderr` when something is expected there (otherwise stderr must stay empty).
set -u
checker=$(realpath "$1")
case_dir=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/in" "$work/got"
# Inputs only: the expectations are not laid out, so a case cannot read its own answers.
for f in "$case_dir"/*; do
  case $(basename "$f") in stdout|stderr|status|args) ;; *) cp -a "$f" "$work/in/" ;; esac
done
args=in.s
[ -f "$case_dir/args" ] && args=$(cat "$case_dir/args")
(cd "$work/in" && eval "\"\$checker\" $args" >"$work/got/stdout" 2>"$work/got/stderr" </dev/null
 echo $? >"$work/got/status")

if [ -n "${UPDATE:-}" ]; then
  cp "$work/got/stdout" "$work/got/status" "$case_dir/"
  rm -f "$case_dir/stderr"
  [ -s "$work/got/stderr" ] && cp "$work/got/stderr" "$case_dir/"
  echo "updated $case_dir"
  exit 0
fi
[ -f "$case_dir/status" ] || { echo "no expectations in $case_dir; run with UPDATE=1" >&2; exit 1; }
want_err=$work/none
: >"$want_err"
[ -f "$case_dir/stderr" ] && want_err=$case_dir/stderr
fail=0
for pair in "stdout:$case_dir/stdout" "status:$case_dir/status" "stderr:$want_err"; do
  name=${pair%%:*} want=${pair#*:}
  if ! cmp -s "$want" "$work/got/$name"; then
    echo "--- $name differs (expected, then got):"
    diff -u --label expected --label got "$want" "$work/got/$name" | head -60
    fail=1
  fi
done
exit $fail
