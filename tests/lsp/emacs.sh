#!/usr/bin/env bash
# Emacs in batch mode, with editors/emacs/nestasm.el loaded, opens classify.s with a marker
# missing; emacs_check.el reads what eglot and flymake show.
#   emacs.sh SOURCE_DIR BUILD_DIR         exit 0 pass, 1 fail, 77 skipped
set -u
src=$(realpath "$1")
build=$(realpath "$2")
command -v emacs >/dev/null || { echo "SKIP: emacs is not installed"; exit 77; }
emacs --batch --eval "(require 'eglot)" 2>/dev/null || { echo "SKIP: eglot is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed '31s/^& else/else/' "$src/examples/classify.s" >"$work/classify.s"
cd "$work" && PATH=$build:$PATH HOME=$work timeout 60 emacs --batch -l "$src/editors/emacs/nestasm.el" \
  -l "$src/tests/lsp/emacs_check.el" </dev/null
