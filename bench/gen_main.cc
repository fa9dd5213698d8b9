// nestasm-gen: write one benchmark input file, the same bytes on every run.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gen.h"

// "10M", "50M", "1000000": a count with an optional k or M, powers of 1000 for a number of
// lines and of 1024 for a size in bytes.
static bool count(const char* s, bool lines, size_t& n) {
  char* end = nullptr;
  unsigned long long v = std::strtoull(s, &end, 10);
  if (end == s) return false;
  unsigned long long mul = 1;
  if (*end == 'k' || *end == 'K') {
    mul = lines ? 1000 : 1024;
    ++end;
  } else if (*end == 'M') {
    mul = lines ? 1000000 : 1024 * 1024;
    ++end;
  }
  if (*end) return false;
  n = static_cast<size_t>(v * mul);
  return true;
}

int main(int argc, char** argv) {
  size_t n = 0;
  const bool stack =
      argc == 4 && (std::strcmp(argv[1], "stack") == 0 || std::strcmp(argv[1], "warns") == 0);
  if (argc != 4 || !count(argv[2], stack, n)) {
    std::fputs("usage: nestasm-gen mix|line SIZE[k|M] FILE\n"
               "       nestasm-gen stack|warns LINES[k|M] FILE\n", stderr);
    return 2;
  }
  std::string text;
  if (std::strcmp(argv[1], "warns") == 0) text = gen_warns(n);
  else if (stack) text = gen_stack(n);
  else if (std::strcmp(argv[1], "mix") == 0) text = gen_mix(n);
  else if (std::strcmp(argv[1], "line") == 0) text = gen_line(n);
  else {
    std::fprintf(stderr, "nestasm-gen: unknown kind %s\n", argv[1]);
    return 2;
  }
  std::FILE* f = std::fopen(argv[3], "wb");
  if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0) {
    std::perror(argv[3]);
    return 1;
  }
  return 0;
}
