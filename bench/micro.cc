// Micro-benchmarks: translation alone, in memory, with no file work, to tell its cost from the I/O's.
#include <benchmark/benchmark.h>

#include <string>

#include "out/out.h"
#include "scan/scan.h"
#include "gen.h"

// The whole line loop over a generated input, as translate_all runs it inside the tool.
static void translate(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    restart();
    file_lines = text;
    out_thing.reserve(text.size() + text.size() / 2 + 256);
    if (translate_all() != 0) state.SkipWithError("translation failed");
    benchmark::DoNotOptimize(out_thing.buf);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  restart();
}

static void bm_mix(benchmark::State& state) {
  static const std::string text = gen_mix(8 << 20);
  translate(state, text);
}
BENCHMARK(bm_mix)->Unit(benchmark::kMillisecond);

static void bm_stack(benchmark::State& state) {
  static const std::string text = gen_stack(200000);
  translate(state, text);
}
BENCHMARK(bm_stack)->Unit(benchmark::kMillisecond);

static void bm_line(benchmark::State& state) {
  static const std::string text = gen_line(8 << 20);
  translate(state, text);
}
BENCHMARK(bm_line)->Unit(benchmark::kMillisecond);

// One kind of line repeated, to see what each costs on its own.
static void bm_lines(benchmark::State& state, const char* line) {
  std::string text;
  while (text.size() < (4 << 20)) text += line;
  translate(state, text);
}
BENCHMARK_CAPTURE(bm_lines, plain, "& &     mov dword [ebp-8], 0  \n")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(bm_lines, comment, "& & ; eax holds the count\n")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(bm_lines, if_end, "if eax UGT 10\n& inc ebx\nend\n")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(bm_lines, while_end, "while ecx != 0\n& dec ecx\nend\n")
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
