// nestasm: translate structured assembly into flat assembly, beside the input as ".asm".
#include <iostream>

#include "common/common.h"
#include "driver/driver.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  std::cin.tie(nullptr);
  guard_fds();
  if (argc < 2) return bail("no input\n", 1);
  if (!read_input(argv[1])) return bail("cant open\n", 2);
  const std::string out = out_path(argv[1]);
  const bool same = names_input(out, argv[1]);
  prepare_output(same ? std::string() : out);
  if (int st = translate_all()) return st;
  if (same) return bail("same file\n", 14);
  // The file first and complete: an echo cut short by a closed pipe must not cost the file.
  if (!write_output(out)) return bail("cant write\n", 13);
  if (!echo_output()) return bail("cant write\n", 13);
  return 0;
}
