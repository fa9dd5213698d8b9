// Writes SIZE pseudo-random bytes from SEED to stdout: the same bytes on every platform, so a
// hostile input can be made at test time instead of being kept in the tree. "msg N" writes the
// message of status N from the translator's own table, so the cases check against that one.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "common/common.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "msg") == 0) {
    const std::string_view m = message(std::atoi(argv[2]));
    return std::fwrite(m.data(), 1, m.size(), stdout) == m.size() ? 0 : 1;
  }
  if (argc != 3) {
    std::fputs("usage: robust_gen SIZE SEED | robust_gen msg STATUS\n", stderr);
    return 2;
  }
  size_t left = std::strtoull(argv[1], nullptr, 10);
  std::mt19937_64 rng(std::strtoull(argv[2], nullptr, 10));
  std::vector<unsigned char> buf(1 << 16);
  while (left > 0) {
    const size_t n = left < buf.size() ? left : buf.size();
    for (size_t i = 0; i < n; ++i) buf[i] = static_cast<unsigned char>(rng() >> 56);
    if (std::fwrite(buf.data(), 1, n, stdout) != n) return 1;
    left -= n;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
