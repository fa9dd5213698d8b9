#!/bin/bash
# Packs editors/vscode into a .vsix with the @vscode/vsce its package.json pins, in a copy
# without the source tree's node_modules, so that only the extension's own packages go in.
# usage: vsix.sh SOURCE_DIR WORK_DIR OUT.vsix
set -eu
src=$1 work=$2 out=$3
rm -rf "$work" && mkdir -p "$work"
(cd "$src/editors/vscode" && tar --exclude=./node_modules -cf - .) | (cd "$work" && tar -xf -)
cd "$work"
npm ci --no-audit --no-fund --ignore-scripts >/dev/null
npx --no-install vsce package --allow-missing-repository --skip-license -o "$out"
