#!/usr/bin/env bash
# Installs code-server and playwright-core into this folder from the npm registry alone: code-server's
# install builds VS Code's native modules here and fetches ripgrep from outside the registry, so it
# is handed Debian's rg through the download cache that fetch looks in first.
# usage: install.sh          (needs node 20, npm, g++, make, python3, rg, libkrb5-dev)
set -euo pipefail
cd "$(dirname "$0")"
[ "$(node -p 'process.versions.node.split(".")[0]')" = 20 ] || { echo "code-server 4.100 needs node 20"; exit 1; }
for t in npm g++ make python3 rg; do command -v $t >/dev/null || { echo "missing: $t"; exit 1; }; done
[ -f /usr/include/gssapi/gssapi.h ] || { echo "missing: libkrb5-dev (VS Code's kerberos module builds against it)"; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# The name @vscode/ripgrep 1.15.11 (VS Code 1.100's) asks for on x86-64 Linux.
cache=$tmp/vscode-ripgrep-cache-1.15.11
mkdir -p "$cache" && cp "$(command -v rg)" "$tmp/rg"
tar -czf "$cache/ripgrep-v13.0.0-10-x86_64-unknown-linux-musl.tar.gz" -C "$tmp" rg
# As root, code-server's own install step refuses to run without npm's unsafe-perm; node-pty's
# runs node-gyp through npx, which asks before it fetches that and, with no terminal, says no.
TMPDIR=$tmp npm_config_unsafe_perm=true npm_config_yes=true npm ci --no-audit --no-fund "$@"
