#!/usr/bin/env bash
# Build the fuzzers with clang in their own folder and run them for a bounded time: the
# translator for half of it, the language server's message reader and whole editor sessions with
# it (session.cc) for a quarter each. Any finding fails the run and is kept under
# tests/fuzz/regress/ (tests/fuzz/lsp-regress/ and tests/fuzz/lsp-session-regress/ for the
# server) for the replay tests.
#
#   tests/fuzz/run.sh [SECONDS]      default 60; FUZZ_BUILD overrides the build folder
#                                    (default build-fuzz), FUZZ_CXX the compiler (clang++)
set -eu
secs=${1:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${FUZZ_BUILD:-$root/build-fuzz}

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER="${FUZZ_CXX:-clang++}" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNESTASM_FUZZ=ON >/dev/null
cmake --build "$build" --target nestasm_fuzz lsp_fuzz lsp_session_fuzz -j2 >/dev/null

failed=0
# fuzz NAME TARGET SECONDS DICT REGRESS UNIT SEED...: UNIT is the longest one input may run, in
# seconds: a slower one is a finding, and only that slow is one reported as a slow unit (by
# default libFuzzer keeps every unit past 10 s). The corpus grows between runs in the build
# folder; the seeds are read from the tree each time. DICT "-" is none.
fuzz() {
  local name=$1 target=$2 t=$3 dict=$4 regress=$5 unit=$6
  shift 6
  local corpus=$build/$name-corpus seeds=$build/$name-seeds found=$build/$name-found
  rm -rf "$seeds" "$found"
  mkdir -p "$corpus" "$seeds" "$found"
  local n=0 f
  for f in "$@"; do
    [ -f "$f" ] || continue
    cp "$f" "$seeds/seed-$n"
    n=$((n + 1))
  done
  echo "$name: $n seed inputs, $t s"
  local log=$build/$name.log status=0
  local opts=()
  [ "$dict" = - ] || opts+=(-dict="$dict")
  "$build/tests/fuzz/$target" "$corpus" "$seeds" -max_total_time="$t" -max_len=4096 "${opts[@]}" \
    -timeout="$unit" -report_slow_units="$unit" -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$found/" \
    >"$log" 2>&1 || status=$?

  # Executions and coverage: the last status line, and the final statistics.
  grep -E '^#[0-9]+' "$log" | tail -n 1 || true
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$log" || true

  local kept=0
  for f in "$found"/*; do
    [ -f "$f" ] || continue
    mkdir -p "$regress"
    cp "$f" "$regress/$(basename "$f")"
    echo "$name: finding kept as ${regress#"$root"/}/$(basename "$f")"
    kept=$((kept + 1))
  done
  if [ "$status" -ne 0 ] || [ "$kept" -ne 0 ]; then
    grep -E 'oracle:|ERROR|runtime error|SUMMARY' "$log" | head -n 20 || true
    echo "$name: FAILED (status $status, $kept finding(s)); full log in $log"
    failed=1
    return
  fi
  echo "$name: no findings"
}

# A golden case's files are translator inputs, but for its commands and expectations.
golden=()
while IFS= read -r -d '' f; do golden+=("$f"); done \
  < <(find "$root/tests/golden" -mindepth 2 -name 'expect.*' -prune -o -type f ! -name setup \
        ! -name run -print0 2>/dev/null)
lsp_secs=$((secs / 4))
fuzz fuzz nestasm_fuzz $((secs - 2 * lsp_secs)) "$root/tests/fuzz/nestasm.dict" "$root/tests/fuzz/regress" 10 \
  "$root"/tests/fuzz/seeds/* "$root"/tests/fuzz/regress/* "$root"/examples/* "${golden[@]}"
fuzz lsp-fuzz lsp_fuzz "$lsp_secs" "$root/tests/fuzz/lsp.dict" "$root/tests/fuzz/lsp-regress" 10 \
  "$root"/tests/fuzz/lsp-seeds/* "$root"/tests/fuzz/lsp-regress/*
# A session's input is a program of four-byte operations, not text: no dictionary. A session
# with a deep or long document runs for seconds under the sanitizers (16 s seen), so one input
# may take a minute; the deep seeds are replayed by the suite, not fuzzed from.
fuzz lsp-session lsp_session_fuzz "$lsp_secs" - "$root/tests/fuzz/lsp-session-regress" 60 \
  "$root"/tests/fuzz/lsp-session-seeds/*
exit $failed
