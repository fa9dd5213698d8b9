#!/usr/bin/env bash
# Packs the VS Code extension as the nestasm-vsix target does and runs real.js on it: the
# package installed into a real VS Code (code-server from this folder) and used in headless
# Chromium. Skips (77) where code-server is not installed here (install.sh) or there is no
# Chromium or npm.
#   run.sh SOURCE_DIR SERVER_BIN OUT_DIR      exit 0 pass, 1 fail, 77 skipped
set -u
src=$1 lsp=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
command -v node >/dev/null || { echo "SKIP: node is not installed"; exit 77; }
[ -f "$here/node_modules/code-server/out/node/entry.js" ] ||
  { echo "SKIP: code-server is not installed in $here (bash $here/install.sh)"; exit 77; }
[ -x "${NESTASM_CHROMIUM:-/usr/bin/chromium}" ] || { echo "SKIP: Chromium is not installed"; exit 77; }
command -v npm >/dev/null || { echo "SKIP: npm is missing, which packs the extension"; exit 77; }
mkdir -p "$out" && out=$(cd "$out" && pwd) && src=$(cd "$src" && pwd)
bash "$src/cmake/vsix.sh" "$src" "$out/pack" "$out/nestasm.vsix" >"$out/pack.log" 2>&1 ||
  { cat "$out/pack.log"; echo "FAIL: vsce could not pack the extension"; exit 1; }
exec node "$here/real.js" "$out/nestasm.vsix" "$lsp" "$out"
