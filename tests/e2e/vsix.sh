#!/bin/bash
# Builds the VS Code extension's .vsix as the nestasm-vsix target does and looks inside: the
# manifest as written, the grammar, the language configuration, the client and its packages,
# and not the packing tool.
# usage: vsix.sh SOURCE_DIR            exit 0 pass, 1 fail, 77 skipped
set -u
src=$1
fail() { echo "FAIL: $*"; exit 1; }
command -v npm >/dev/null && command -v unzip >/dev/null || { echo "SKIP: npm or unzip is missing"; exit 77; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
bash "$src/cmake/vsix.sh" "$src" "$tmp/work" "$tmp/nestasm.vsix" >"$tmp/log" 2>&1 ||
  { cat "$tmp/log"; fail "vsce could not pack the extension"; }
unzip -Z1 "$tmp/nestasm.vsix" >"$tmp/list" || fail "the .vsix is no zip"
for f in extension.vsixmanifest extension/package.json extension/extension.js \
         extension/language-configuration.json extension/syntaxes/nestasm.tmLanguage.json \
         extension/node_modules/vscode-languageclient/package.json; do
  grep -qx "$f" "$tmp/list" || fail "the .vsix has no $f"
done
grep -q '^extension/node_modules/@vscode/vsce/' "$tmp/list" && fail "the .vsix carries the packing tool"
for f in package.json extension.js language-configuration.json syntaxes/nestasm.tmLanguage.json; do
  unzip -p "$tmp/nestasm.vsix" "extension/$f" | cmp -s - "$src/editors/vscode/$f" || fail "extension/$f differs from editors/vscode/$f"
done
unzip -p "$tmp/nestasm.vsix" extension.vsixmanifest | grep -q '<Identity Language="en-US" Id="nestasm" Version="1.0.0" Publisher="nestasm"' ||
  fail "the manifest does not name nestasm 1.0.0: $(unzip -p "$tmp/nestasm.vsix" extension.vsixmanifest | grep Identity)"
echo "ok: the .vsix has the manifest, the grammar, the language configuration and the client ($(wc -l <"$tmp/list") files)"
