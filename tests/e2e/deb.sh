#!/bin/bash
# Builds the Debian package with cpack from the build folder, lists it, and runs the nestasm it
# carries, unpacked, on a shipped example.
# usage: deb.sh CPACK BUILD_DIR SOURCE_DIR          exit 0 pass, 1 fail, 77 skipped
set -u
cpack=$1 build=$2 src=$3
fail() { echo "FAIL: $*"; exit 1; }
command -v dpkg-deb >/dev/null || { echo "SKIP: dpkg-deb is missing"; exit 77; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/log" 2>&1 ||
  { cat "$tmp/log"; fail "cpack -G DEB failed"; }
deb=$(ls "$tmp"/out/nestasm_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || fail "cpack made no nestasm_*.deb: $(ls "$tmp/out")"
[ "$(dpkg-deb -f "$deb" Package)" = nestasm ] || fail "the package is named $(dpkg-deb -f "$deb" Package)"
dpkg-deb -c "$deb" | awk '{ print $6 }' >"$tmp/list" || fail "dpkg-deb cannot list $deb"
want="./usr/bin/nestasm ./usr/bin/nestasm-check ./usr/share/man/man1/nestasm.1 ./usr/share/man/man1/nestasm-check.1
  ./usr/bin/nestasm-fmt ./usr/share/man/man1/nestasm-fmt.1
  ./usr/share/nestasm/editors/nvim/nestasm.lua ./usr/share/nestasm/editors/emacs/nestasm.el
  ./usr/share/nestasm/editors/vscode/package.json ./usr/share/nestasm/editors/vscode/syntaxes/nestasm.tmLanguage.json"
[ -x "$build/nestasm-lsp" ] && want="$want ./usr/bin/nestasm-lsp ./usr/share/man/man1/nestasm-lsp.1"
for f in $want; do grep -qx "$f" "$tmp/list" || fail "the package has no $f"; done
grep -q node_modules "$tmp/list" && fail "the package carries node_modules"
dpkg-deb -x "$deb" "$tmp/root" || fail "dpkg-deb cannot unpack $deb"
cp "$src/examples/gcd.s" "$tmp/"
(cd "$tmp" && ./root/usr/bin/nestasm gcd.s >/dev/null) || fail "the packaged nestasm failed on gcd.s"
cmp "$tmp/gcd.asm" "$src/tests/e2e/expect/gcd.asm" || fail "the packaged nestasm translates gcd.s otherwise"
echo "ok: $(basename "$deb"), $(wc -l <"$tmp/list") entries, runs gcd.s as expected"
