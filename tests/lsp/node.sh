#!/usr/bin/env bash
# Runs a test script of this folder with node, or skips (77) where there is no node.
#   node.sh SCRIPT ARG...
command -v node >/dev/null || { echo "SKIP: node is not installed"; exit 77; }
cd "$(dirname "$0")" && exec node "$@"
