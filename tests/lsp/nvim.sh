#!/usr/bin/env bash
# Neovim headless with editors/nvim/nestasm.lua as its configuration opens classify.s with a
# marker missing; nvim_check.lua reads the diagnostics, the folds and the translation.
#   nvim.sh SOURCE_DIR BUILD_DIR          exit 0 pass, 1 fail, 77 skipped
set -u
src=$(realpath "$1")
build=$(realpath "$2")
command -v nvim >/dev/null || { echo "SKIP: nvim is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed '31s/^& else/else/' "$src/examples/classify.s" >"$work/classify.s"
# What nestasm makes of the file as shipped: the translation of its first 30 lines is the same.
mkdir "$work/shipped" && cp "$src/examples/classify.s" "$work/shipped/" && "$build/nestasm" "$work/shipped/classify.s" >/dev/null
cd "$work" && PATH=$build:$PATH HOME=$work timeout 60 nvim --headless -u "$src/editors/nvim/nestasm.lua" \
  -c "luafile $src/tests/lsp/nvim_check.lua" classify.s </dev/null
