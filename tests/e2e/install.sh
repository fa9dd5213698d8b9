#!/bin/bash
# Installs the build into a scratch prefix and runs the installed binary on a shipped example.
# usage: install.sh CMAKE BUILD_DIR SOURCE_DIR
set -u
cmake=$1
build=$2
src=$3
fail() { echo "FAIL: $*"; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$cmake" --install "$build" --prefix "$tmp/prefix" > "$tmp/install.log" 2>&1 ||
  { cat "$tmp/install.log"; fail "cmake --install failed"; }

bin=$tmp/prefix/bin/nestasm
page=$tmp/prefix/share/man/man1/nestasm.1
[ -x "$bin" ] || fail "bin/nestasm was not installed"
[ -f "$page" ] || fail "share/man/man1/nestasm.1 was not installed"
cmp -s "$page" "$src/nestasm.1" || fail "the installed manual page differs from nestasm.1"
check=$tmp/prefix/bin/nestasm-check
[ -x "$check" ] || fail "bin/nestasm-check was not installed"
cmp -s "$tmp/prefix/share/man/man1/nestasm-check.1" "$src/nestasm-check.1" ||
  fail "share/man/man1/nestasm-check.1 was not installed as it is"
fmt=$tmp/prefix/bin/nestasm-fmt
[ -x "$fmt" ] || fail "bin/nestasm-fmt was not installed"
cmp -s "$tmp/prefix/share/man/man1/nestasm-fmt.1" "$src/nestasm-fmt.1" ||
  fail "share/man/man1/nestasm-fmt.1 was not installed as it is"

# The editor set-ups where docs/editors.md loads them from, as they stand in editors/.
for f in nvim/nestasm.lua emacs/nestasm.el vscode/package.json vscode/extension.js; do
  cmp -s "$tmp/prefix/share/nestasm/editors/$f" "$src/editors/$f" || fail "share/nestasm/editors/$f was not installed as it is"
done

mkdir "$tmp/work"
cp "$src/examples/gcd.s" "$tmp/work/"
(cd "$tmp/work" && "$bin" gcd.s > echo.out 2> err.out)
rc=$?
[ "$rc" -eq 0 ] || fail "the installed nestasm ended with status $rc: $(cat "$tmp/work/err.out")"
[ -s "$tmp/work/err.out" ] && fail "the installed nestasm wrote to stderr"
want=$src/tests/e2e/expect/gcd.asm
cmp "$tmp/work/gcd.asm" "$want" || fail "gcd.asm differs from the expected translation"
cmp "$tmp/work/echo.out" "$want" || fail "the echo differs from the expected translation"
# The installed binary must not depend on the build tree.
(cd "$tmp/work" && "$bin" > /dev/null 2> err.out)
[ $? -eq 1 ] && [ "$(cat "$tmp/work/err.out")" = "no input" ] || fail "no-argument run is wrong"
"$check" -Werror "$tmp/work/gcd.s" > "$tmp/work/check.out" 2>&1 ||
  fail "the installed nestasm-check rejects gcd.s: $(cat "$tmp/work/check.out")"
[ -s "$tmp/work/check.out" ] && fail "the installed nestasm-check reports on gcd.s"
"$fmt" "$tmp/work/gcd.s" > "$tmp/work/gcd.fmt.s" || fail "the installed nestasm-fmt fails on gcd.s"
(cd "$tmp/work" && "$bin" gcd.fmt.s > /dev/null) && cmp -s "$tmp/work/gcd.fmt.asm" "$want" ||
  fail "gcd.s formatted by the installed nestasm-fmt translates otherwise"
# The installed server, where the build has one, answers an editor's first request and ends as
# the protocol says.
lsp=$tmp/prefix/bin/nestasm-lsp
if [ -x "$build/nestasm-lsp" ]; then
  [ -x "$lsp" ] || fail "bin/nestasm-lsp was not installed"
  cmp -s "$tmp/prefix/share/man/man1/nestasm-lsp.1" "$src/nestasm-lsp.1" ||
    fail "share/man/man1/nestasm-lsp.1 was not installed as it is"
  init='{"jsonrpc":"2.0","id":1,"method":"initialize","params":{}}'
  printf 'Content-Length: %d\r\n\r\n%s' ${#init} "$init" >"$tmp/work/session"
  answer=$("$lsp" <"$tmp/work/session")
  [ $? -eq 1 ] || fail "the installed nestasm-lsp did not end with 1 at the end of input without shutdown"
  case $answer in *'"name":"nestasm-lsp"'*) ;; *) fail "the installed nestasm-lsp answered: $answer" ;; esac
fi
echo "ok: installed the programs and their manual pages; gcd.s translates as expected"
