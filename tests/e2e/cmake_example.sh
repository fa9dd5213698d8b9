#!/bin/bash
# Installs nestasm into a scratch prefix and builds examples/cmake against it as a user would:
# find_package(nestasm), a build, an incremental rebuild, and a source nestasm rejects.
#
# usage: cmake_example.sh CMAKE BUILD_DIR SOURCE_DIR
# Exit 77 (skipped) when make, nasm or ld is missing.
set -u
cmake=$1
build=$2
src=$3

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }
for t in make nasm ld; do command -v "$t" >/dev/null || skip "$t is not installed"; done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp" || fail "no temporary folder"
prefix=$tmp/prefix
"$cmake" --install "$build" --prefix "$prefix" > "$tmp/install.log" 2>&1 ||
  { cat "$tmp/install.log"; fail "cmake --install failed"; }
for f in bin/nestasm lib/cmake/nestasm/nestasmConfig.cmake lib/cmake/nestasm/nestasmConfigVersion.cmake; do
  [ -f "$prefix/$f" ] || fail "$f was not installed"
done

# The example refers to the sources of examples/make; copy both so that sources can be broken.
mkdir "$tmp/src" && cp -R "$src/examples/make" "$src/examples/cmake" "$tmp/src/" || fail "cannot copy the examples"
rm -f "$tmp/src/make/"*.asm

# build LOG: builds the example in $bin; status in $rc.
build() { "$cmake" --build "$bin" > "$1" 2>&1; rc=$?; }
# The sources that a build log shows translated, or assembled, sorted.
translated() { sed -n 's/.*Translating \([a-z]*\)\.s with nestasm$/\1/p' "$1" | sort | tr '\n' ' '; }
assembled() { sed -n 's|.*Building ASM_NASM object .*/\([a-z]*\)\.asm\.o$|\1|p' "$1" | sort | tr '\n' ' '; }

# example GEN: configures, builds, rebuilds and breaks the example with one CMake generator.
example() {
  local gen=$1
  bin=$tmp/bin-${gen// /-}
  echo "== $gen"
  "$cmake" -G "$gen" -S "$tmp/src/cmake" -B "$bin" -DCMAKE_PREFIX_PATH="$prefix" > "$tmp/conf.log" 2>&1 ||
    { cat "$tmp/conf.log"; fail "configuring examples/cmake failed"; }
  grep -qx "nestasm_DIR:PATH=$prefix/lib/cmake/nestasm" "$bin/CMakeCache.txt" ||
    fail "find_package(nestasm) did not find the scratch install: $(grep nestasm_DIR "$bin/CMakeCache.txt")"

  build build.log
  [ "$rc" -eq 0 ] || { cat build.log; fail "the build failed"; }
  [ "$(translated build.log)" = "data main numlib print " ] || { cat build.log; fail "not every source was translated once"; }
  [ "$(assembled build.log)" = "data main numlib print " ] || { cat build.log; fail "not every .asm was assembled once"; }
  out=$(timeout 20 "$bin/gcd")
  status=$?
  [ "$out" = "gcd(1071 462 2520 3948 5103) = 21" ] || fail "the program wrote '$out'"
  [ "$status" -eq 21 ] || fail "the program ended with status $status, not 21"
  # The translation happens in the build folder; the source folders get nothing.
  left=$(find "$tmp/src" -name '*.asm')
  [ -z "$left" ] || fail "the build wrote into the source tree: $left"

  # One touched source is translated and assembled again, alone. The pause makes the touch newer
  # than the first build's files on file systems that keep whole seconds.
  sleep 1
  touch "$tmp/src/make/numlib.s"
  build incr.log
  [ "$rc" -eq 0 ] || { cat incr.log; fail "the incremental build failed"; }
  [ "$(translated incr.log)" = "numlib " ] || { cat incr.log; fail "the incremental build translated other sources"; }
  [ "$(assembled incr.log)" = "numlib " ] || { cat incr.log; fail "the incremental build assembled other sources"; }

  # A source nestasm rejects fails the build with nestasm's message, and again on the next build:
  # the failure must leave nothing that looks up to date.
  cp "$tmp/src/make/print.s" "$tmp/print.good"
  printf 'end\n' >> "$tmp/src/make/print.s"
  for try in 1 2; do
    build bad$try.log
    [ "$rc" -ne 0 ] || { cat bad$try.log; fail "build $try succeeded on a source nestasm rejects"; }
    grep -qx 'end bad' bad$try.log || { cat bad$try.log; fail "nestasm's message is not in the output of build $try"; }
    grep -q 'Translating print\.s with nestasm' bad$try.log || { cat bad$try.log; fail "build $try did not name print.s"; }
  done
  cp "$tmp/print.good" "$tmp/src/make/print.s"
  # Ninja writes the ASM_NASM entries of compile_commands.json; nestasm-check finds the one of
  # the .asm made of main.s through the build/ folder beside the source.
  if [ "$gen" = Ninja ]; then
    grep -q '"file": ".*/nestasm/main.asm"' "$bin/compile_commands.json" ||
      fail "no compile_commands.json entry for main.asm: $(cat "$bin/compile_commands.json" 2>&1)"
    ln -s "$bin" "$tmp/src/cmake/build"
    note=$(cd / && "$prefix/bin/nestasm-check" --verbose --no-assemble "$tmp/src/cmake/main.s" | head -1)
    rm "$tmp/src/cmake/build"
    case $note in
      *"options come from $tmp/src/cmake/build/compile_commands.json, the entry of"*"/nestasm/main.asm: "*-felf64*) ;;
      *) fail "nestasm-check did not take main.s's options from compile_commands.json: $note" ;;
    esac
  fi
  build fixed.log
  [ "$rc" -eq 0 ] || { cat fixed.log; fail "the build failed once the source was repaired"; }
  [ "$(timeout 20 "$bin/gcd")" = "gcd(1071 462 2520 3948 5103) = 21" ] || fail "the rebuilt program is wrong"
}

# The two generators users pick; they track a failed custom command's output differently.
example "Unix Makefiles"
if command -v ninja >/dev/null; then example Ninja; else echo "SKIPPED STEP: Ninja (not installed)"; fi
echo "ok: installed package found; examples/cmake builds gcd (status 21); a touched source alone is redone"
