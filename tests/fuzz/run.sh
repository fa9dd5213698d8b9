#!/usr/bin/env bash
# Build the fuzzer with clang in its own folder and run it for a bounded time; any finding fails
# the run and is kept under tests/fuzz/regress/ for the replay test.
#
#   tests/fuzz/run.sh [SECONDS]      default 60; FUZZ_BUILD overrides the build folder
#                                    (default build-fuzz), FUZZ_CXX the compiler (clang++)
set -eu
secs=${1:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${FUZZ_BUILD:-$root/build-fuzz}

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER="${FUZZ_CXX:-clang++}" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNESTASM_FUZZ=ON >/dev/null
cmake --build "$build" --target nestasm_fuzz -j2 >/dev/null

# The corpus grows between runs in the build folder; the seeds are read from the tree each time.
corpus=$build/fuzz-corpus
seeds=$build/fuzz-seeds
found=$build/fuzz-found
rm -rf "$seeds" "$found"
mkdir -p "$corpus" "$seeds" "$found"
n=0
add() {
  local f
  for f in "$@"; do
    [ -f "$f" ] || continue
    cp "$f" "$seeds/seed-$n"
    n=$((n + 1))
  done
}
add "$root"/tests/fuzz/seeds/* "$root"/tests/fuzz/regress/* "$root"/examples/*
# A golden case's files are its inputs, but for its commands and expectations.
while IFS= read -r -d '' f; do add "$f"; done \
  < <(find "$root/tests/golden" -mindepth 2 -name 'expect.*' -prune -o -type f ! -name setup \
        ! -name run -print0 2>/dev/null)
echo "fuzz: $n seed inputs, $secs s"

log=$build/fuzz.log
status=0
"$build/tests/fuzz/nestasm_fuzz" "$corpus" "$seeds" -max_total_time="$secs" -max_len=4096 -dict="$root/tests/fuzz/nestasm.dict" \
  -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$found/" \
  >"$log" 2>&1 || status=$?

# Executions and coverage: the last status line, and the final statistics.
grep -E '^#[0-9]+' "$log" | tail -n 1 || true
grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$log" || true

kept=0
for f in "$found"/*; do
  [ -f "$f" ] || continue
  mkdir -p "$root/tests/fuzz/regress"
  cp "$f" "$root/tests/fuzz/regress/$(basename "$f")"
  echo "fuzz: finding kept as tests/fuzz/regress/$(basename "$f")"
  kept=$((kept + 1))
done
if [ "$status" -ne 0 ] || [ "$kept" -ne 0 ]; then
  grep -E 'oracle:|ERROR|runtime error|SUMMARY' "$log" | head -n 20 || true
  echo "fuzz: FAILED (status $status, $kept finding(s)); full log in $log"
  exit 1
fi
echo "fuzz: no findings"
