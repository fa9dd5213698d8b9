#!/usr/bin/env bash
# Time nestasm on large generated inputs against two floors; it reports, it never fails a build.
#
#   bench/run.sh [NESTASM]          default NESTASM: build/nestasm
#
# The floors: `tee OUT < IN > /dev/null`, the same file I/O on the input with nothing done to it;
# and the durable floor, `tee OUT < EXPECTED > /dev/null && sync OUT`, which writes nestasm's own
# output (EXPECTED, kept from the warm-up) and makes it durable, as nestasm does before it
# publishes a file. The sync is runstat's fsync, so the floor pays no process start for it.
#
# nestasm-check, when it stands beside NESTASM (or NESTASM_CHECK names it), is timed on the two
# mixes and compared with nestasm, with --no-assemble: its own work, not NASM's; nestasm-fmt (NESTASM_FMT) on 100,000 lines; nestasm-lsp
# (NESTASM_LSP) on changes to 10,000-line documents and to a 2,000-line one with a warning on
# every tenth line, and a codeAction after each, all with --no-assemble; then, where nasm is on
# PATH, its second round: from a change to the 10,000-line mix to the publish that carries NASM's
# diagnostics (goal 300 ms), beside the change to the core's diagnostics on the same server.
#
# Environment: NESTASM_BENCH_DIR (scratch folder, default /tmp/nestasm-bench),
# NESTASM_BENCH_RUNS (timed runs per input after one warm-up, default 7, at least 5),
# NESTASM_BENCH_TOOLS (folder of nestasm-gen and runstat, default NESTASM's folder + /bench).
set -u

bin=${1:-build/nestasm}
tools=${NESTASM_BENCH_TOOLS:-$(dirname "$bin")/bench}
dir=${NESTASM_BENCH_DIR:-/tmp/nestasm-bench}
runs=${NESTASM_BENCH_RUNS:-7}
[ "$runs" -ge 5 ] 2>/dev/null || runs=5
gen=$tools/nestasm-gen
runstat=$tools/runstat

for f in "$bin" "$gen" "$runstat"; do
  if [ ! -x "$f" ]; then
    echo "bench: $f is missing; build first: cmake --build build" >&2
    exit 0
  fi
done
mkdir -p "$dir" || exit 0

# name, generator kind, count. The small stack and line inputs are there to show that cost grows
# linearly with size.
inputs=(
  "mix10 mix 10M"
  "mix100 mix 100M"
  "stack100k stack 100k"
  "stack1m stack 1M"
  "line5 line 5M"
  "line50 line 50M"
)

for entry in "${inputs[@]}"; do
  read -r name kind n <<<"$entry"
  # Deterministic, so a file left from an earlier run is reused unless the generator changed.
  if [ ! -s "$dir/$name.s" ] || [ "$gen" -nt "$dir/$name.s" ]; then
    "$gen" "$kind" "$n" "$dir/$name.s" || exit 0
  fi
done

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "nestasm: $bin; $runs timed runs per input after one warm-up; inputs in $dir"
echo "times are medians in ms; user and sys are nestasm's; /tee and /floor are nestasm's time over"
echo "tee's and over the durable floor's; RSS/in is nestasm's peak resident size over the input size,"
echo "echoing into a file"
printf '%-10s %6s %8s %7s %7s %8s %6s %8s %7s %7s %6s\n' \
  input MiB nestasm user sys tee /tee floor /floor MiB/s RSS/in
declare -A wall
for entry in "${inputs[@]}"; do
  read -r name _ _ <<<"$entry"
  in=$dir/$name.s
  bytes=$(stat -c %s "$in")
  # A warm-up of each puts the input in the page cache and every output file in place, so each
  # timed run replaces an existing file of the same size, as a rerun of the tool does. nestasm's
  # output from it is what the durable floor writes.
  "$runstat" -o /dev/null -- "$bin" "$in" >/dev/null
  cp "$dir/$name.asm" "$dir/$name.expect"
  "$runstat" -i "$in" -o /dev/null -- tee "$dir/$name.tee.asm" >/dev/null
  "$runstat" -i "$dir/$name.expect" -o /dev/null -s "$dir/$name.floor.asm" -- \
    tee "$dir/$name.floor.asm" >/dev/null
  : >"$dir/$name.n" && : >"$dir/$name.t" && : >"$dir/$name.f"
  for ((r = 0; r < runs; r++)); do
    "$runstat" -o /dev/null -- "$bin" "$in" >>"$dir/$name.n"
    "$runstat" -i "$in" -o /dev/null -- tee "$dir/$name.tee.asm" >>"$dir/$name.t"
    "$runstat" -i "$dir/$name.expect" -o /dev/null -s "$dir/$name.floor.asm" -- \
      tee "$dir/$name.floor.asm" >>"$dir/$name.f"
  done
  if awk '$5 != 0 { bad = 1 } END { exit !bad }' "$dir/$name.n"; then
    echo "$name: nestasm did not end with status 0" >&2
  fi
  nw=$(awk '{ print $1 }' "$dir/$name.n" | median)
  nu=$(awk '{ print $2 }' "$dir/$name.n" | median)
  ns=$(awk '{ print $3 }' "$dir/$name.n" | median)
  # Peak memory from a run whose echo goes to a file: written to /dev/null, the echo's bytes
  # are never read, and memory that holds them would not show.
  rss=$("$runstat" -o "$dir/$name.echo" -- "$bin" "$in" | awk '{ print $4 }')
  rm -f "$dir/$name.echo"
  tw=$(awk '{ print $1 }' "$dir/$name.t" | median)
  fw=$(awk '{ print $1 }' "$dir/$name.f" | median)
  wall[$name]=$nw
  awk -v name="$name" -v b="$bytes" -v nw="$nw" -v nu="$nu" -v ns="$ns" -v tw="$tw" -v fw="$fw" \
    -v rss="$rss" \
    'BEGIN { mib = b / 1048576
             printf "%-10s %6.1f %8.1f %7.1f %7.1f %8.1f %5.2fx %8.1f %6.2fx %7.0f %5.2fx\n", name,
                    mib, nw * 1000, nu * 1000, ns * 1000, tw * 1000, nw / tw, fw * 1000, nw / fw,
                    mib / nw, rss * 1024 / b }'
done

# nestasm-check runs the same translation pass with its bookkeeping and writes no file; the
# mix draws warnings (comments with markers), which it prints to /dev/null.
check=${NESTASM_CHECK:-$(dirname "$bin")/nestasm-check}
if [ -x "$check" ]; then
  echo "nestasm-check: $check (goal: within 1.5x nestasm on mix100)"
  printf '%-10s %10s %8s %8s\n' input check user ratio
  for name in mix10 mix100; do
    in=$dir/$name.s
    "$runstat" -o /dev/null -- "$check" --no-assemble "$in" >/dev/null
    : >"$dir/$name.c"
    for ((r = 0; r < runs; r++)); do
      "$runstat" -o /dev/null -- "$check" --no-assemble "$in" >>"$dir/$name.c"
    done
    cw=$(awk '{ print $1 }' "$dir/$name.c" | median)
    cu=$(awk '{ print $2 }' "$dir/$name.c" | median)
    awk -v name="$name" -v cw="$cw" -v cu="$cu" -v nw="${wall[$name]}" \
      'BEGIN { printf "%-10s %10.1f %8.1f %7.2fx\n", name, cw * 1000, cu * 1000, cw / nw }'
  done
  # Shapes where a warning's work could grow with the file: 50,000 labels in one block, 50,000
  # loops each opened in the one before, 16,000 loops each holding a call of its own label.
  # Linear, they take about a second each; one look through the file per warning took minutes.
  awk 'BEGIN { print "while ecx != 0"; for (i = 0; i < 50000; i++) print "l" i ": nop"; print "end" }' \
    >"$dir/labels.s"
  awk 'BEGIN { for (i = 0; i < 50000; i++) { print "while ecx != 0"; print "& dec ecx" } }' >"$dir/nested.s"
  awk 'BEGIN { print "_start:"; for (i = 0; i < 16000; i++) { print "while ecx != 0"; print "& call f" i; print "f" i ":" } }' \
    >"$dir/calls.s"
  for name in labels nested calls; do
    "$runstat" -o /dev/null -- "$check" --no-assemble "$dir/$name.s" | awk -v name="$name" \
      '{ printf "%-10s %10.1f %8.1f   (hostile shape, one run)\n", name, $1 * 1000, $2 * 1000 }'
  done
  # A warning and its rewrite on every tenth line: the command line prints every diagnostic,
  # so it checks every rewrite, each by one more pass over the text (up to the budget of
  # src/check/fix.cc); ratio against nestasm on the same file.
  for entry in "warns2k 2k" "warns200k 200k"; do
    read -r name n <<<"$entry"
    if [ ! -s "$dir/$name.s" ] || [ "$gen" -nt "$dir/$name.s" ]; then
      "$gen" warns "$n" "$dir/$name.s" || exit 0
    fi
    in=$dir/$name.s
    "$runstat" -o /dev/null -- "$bin" "$in" >/dev/null
    "$runstat" -o /dev/null -- "$check" --no-assemble "$in" >/dev/null
    : >"$dir/$name.n" && : >"$dir/$name.c"
    for ((r = 0; r < runs; r++)); do
      "$runstat" -o /dev/null -- "$bin" "$in" >>"$dir/$name.n"
      "$runstat" -o /dev/null -- "$check" --no-assemble "$in" >>"$dir/$name.c"
    done
    nw=$(awk '{ print $1 }' "$dir/$name.n" | median)
    cw=$(awk '{ print $1 }' "$dir/$name.c" | median)
    cu=$(awk '{ print $2 }' "$dir/$name.c" | median)
    awk -v name="$name" -v cw="$cw" -v cu="$cu" -v nw="$nw" \
      'BEGIN { printf "%-10s %10.1f %8.1f %7.2fx   (nestasm %.1f ms; goal 1.5x)\n", name, cw * 1000, cu * 1000, cw / nw, nw * 1000 }'
  done
fi

# nestasm-lsp, when it stands beside NESTASM: from a change to a document to its diagnostics, as
# an editor waits for them, from a codeAction to its quick fixes, formatting 100,000 lines, and
# from a change to NASM's diagnostics in the second round (the last line it prints).
lsp=${NESTASM_LSP:-$(dirname "$bin")/nestasm-lsp}
if [ -x "$lsp" ] && [ -x "$tools/nestasm-lsp-bench" ]; then
  "$tools/nestasm-lsp-bench" "$lsp" 100
fi

# nestasm-fmt, when it stands beside NESTASM: the first 100,000 lines of the mix, whose markers
# and indentation come in every spelling, formatted to stdout; and --check on its formatted
# copy, which reads every line to find none to change.
fmt=${NESTASM_FMT:-$(dirname "$bin")/nestasm-fmt}
if [ -x "$fmt" ]; then
  in=$dir/fmt100k.s
  if [ ! -s "$in" ] || [ "$gen" -nt "$in" ]; then
    "$gen" mix 2M "$dir/fmt.mix" && head -n 100000 "$dir/fmt.mix" >"$in" || exit 0
    rm -f "$dir/fmt.mix"
  fi
  "$fmt" "$in" >"$dir/fmt100k.tidy.s"
  echo "nestasm-fmt: $fmt on $(wc -l <"$in") lines (goal: within 200 ms)"
  for entry in "to-stdout $in" "--check $dir/fmt100k.tidy.s"; do
    read -r mode file <<<"$entry"
    opt=$mode
    [ "$mode" = to-stdout ] && opt=
    "$runstat" -o /dev/null -- "$fmt" $opt "$file" >/dev/null
    : >"$dir/fmt.t"
    for ((r = 0; r < runs; r++)); do "$runstat" -o /dev/null -- "$fmt" $opt "$file" >>"$dir/fmt.t"; done
    fw=$(awk '{ print $1 }' "$dir/fmt.t" | median)
    fu=$(awk '{ print $2 }' "$dir/fmt.t" | median)
    awk -v m="$mode" -v fw="$fw" -v fu="$fu" \
      'BEGIN { printf "  %-10s %8.1f ms  user %.1f ms\n", m, fw * 1000, fu * 1000 }'
  done
fi

# Small files, where starting the process is most of the cost: 1,000 copies of examples/gcd.s,
# two at a time, against cp of the same files.
example=$(dirname "$0")/../examples/gcd.s
if [ -f "$example" ]; then
  small=$dir/small
  if [ ! -f "$small/f999.s" ] || [ "$example" -nt "$small/f999.s" ]; then
    rm -rf "$small" && mkdir -p "$small" || exit 0
    for ((i = 0; i < 1000; i++)); do cp "$example" "$small/f$i.s"; done
  fi
  : >"$dir/small.n" && : >"$dir/small.c"
  for ((r = 0; r <= runs; r++)); do
    # The first of each is a warm-up.
    n=$("$runstat" -- sh -c 'ls "$1"/f*.s | xargs -P2 -n1 "$2" >/dev/null' sh "$small" "$bin")
    c=$("$runstat" -- sh -c 'ls "$1"/f*.s | xargs -P2 -I{} cp {} {}.cp' sh "$small")
    if [ "$r" -gt 0 ]; then echo "$n" >>"$dir/small.n" && echo "$c" >>"$dir/small.c"; fi
  done
  sn=$(awk '{ print $1 }' "$dir/small.n" | median)
  sc=$(awk '{ print $1 }' "$dir/small.c" | median)
  awk -v n="$sn" -v c="$sc" 'BEGIN { printf "small files: 1,000 copies of gcd.s, xargs -P2: nestasm %.0f ms, cp %.0f ms, %.2fx cp (goal: within 1.2x)\n", n * 1000, c * 1000, n / c }'
fi

echo "scaling (10x the input; linear is about 10):"
awk -v a="${wall[mix10]}" -v b="${wall[mix100]}" -v c="${wall[stack100k]}" -v d="${wall[stack1m]}" \
  -v e="${wall[line5]}" -v f="${wall[line50]}" \
  'BEGIN { printf "  mix100/mix10 %.2f   stack1m/stack100k %.2f   line50/line5 %.2f\n", b / a, d / c, f / e }'
exit 0
