// Runs the checker's agreement with the translator over every file under the given paths.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "agree.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    const fs::path p(argv[i]);
    if (fs::is_regular_file(p, ec)) files.push_back(p);
    else if (fs::is_directory(p, ec))
      for (const auto& e : fs::recursive_directory_iterator(p, ec))
        if (e.is_regular_file()) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& f : files) {
    std::ifstream in(f, std::ios::binary);
    const std::string data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::printf("agree %s\n", f.c_str());
    std::fflush(stdout);
    check_agrees(reinterpret_cast<const uint8_t*>(data.data()), data.size());
  }
  std::printf("%zu inputs agree\n", files.size());
  return files.empty() ? 1 : 0;
}
