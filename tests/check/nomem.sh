#!/usr/bin/env bash
# Memory that runs out while checking ends the check with "no memory" and status 2, as a file
# that cannot be read does, never with an abort and a core.
# usage: nomem.sh CHECKER
set -u
checker=$(realpath "$1")
grep -q __asan_init "$checker" && { echo "SKIP: an AddressSanitizer build cannot run under a memory limit"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
# An else with 100 MB of text after it: its warning quotes the text twice.
{ echo 'if eax == 1'; printf 'else eax == '; head -c 100000000 /dev/zero | tr '\0' x; echo; echo end; } >in.s
(ulimit -v 600000; exec "$checker" in.s >out 2>err)
st=$?
fail=0
[ "$st" = 2 ] || { echo "FAIL: status $st, want 2"; fail=1; }
[ "$(cat err)" = "nestasm-check: no memory" ] || { echo "FAIL: stderr: $(head -c 200 err)"; fail=1; }
# The same input with room enough is checked as usual.
"$checker" in.s >out 2>err
st=$?
[ "$st" = 0 ] || { echo "FAIL: status $st without a limit, want 0"; fail=1; }
[ "$fail" = 0 ] && echo "ok"
exit $fail
