#!/usr/bin/env bash
# Fails when a file in src/ includes a header of a layer above its own: the layers, lowest first,
# are common, cond, out, codegen, scan, fmt, check, lsp, driver.
#
#   layers.sh SRCDIR
set -u
src=$1
order=(common cond out codegen scan fmt check lsp driver)
rank() { local i; for i in "${!order[@]}"; do [ "${order[i]}" = "$1" ] && echo "$i" && return; done; echo 99; }
bad=0
for f in "$src"/*/*; do
  own=$(basename "$(dirname "$f")")
  r=$(rank "$own")
  while IFS= read -r inc; do
    other=${inc%%/*}
    if [ "$(rank "$other")" -gt "$r" ]; then
      echo "${f#"$src"/}: includes $inc from a higher layer"
      bad=1
    fi
  done < <(sed -n 's/^#include "\([a-z]*\/[^"]*\)".*/\1/p' "$f")
done
[ $bad = 0 ] && echo "layers: no include of a higher layer"
exit $bad
