// Replays kept fuzzer findings and seeds through the same checks the fuzzer applies.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "oracle.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  oracle_setup();
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    const fs::path p(argv[i]);
    std::error_code ec;
    if (fs::is_regular_file(p, ec)) {
      files.push_back(p);
    } else if (fs::is_directory(p, ec)) {
      for (const auto& e : fs::recursive_directory_iterator(p, ec))
        // A link that leads nowhere (a case's chain of links too long to follow) is no input.
        if (e.is_regular_file(ec)) files.push_back(e.path());
    }
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& f : files) {
    std::ifstream in(f, std::ios::binary);
    const std::string data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // Named before it runs, so an abort in the checks says which input it was.
    std::printf("replay %s (%zu bytes)\n", f.c_str(), data.size());
    std::fflush(stdout);
    check_input(reinterpret_cast<const uint8_t*>(data.data()), data.size());
  }
  std::printf("replayed %zu inputs\n", files.size());
  // Nothing replayed means the paths are wrong, not that all is well.
  return files.empty() ? 1 : 0;
}
