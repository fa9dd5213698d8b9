// Replays the editor sessions kept for the language server through the checks the fuzzer applies.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "session.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    if (fs::is_regular_file(argv[i], ec)) files.push_back(argv[i]);
    if (fs::is_directory(argv[i], ec))
      for (const auto& e : fs::directory_iterator(argv[i], ec))
        if (e.is_regular_file(ec)) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  int failed = 0;
  for (const fs::path& f : files) {
    std::ifstream in(f, std::ios::binary);
    const std::string data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // Named before it runs, so a crash says which input it was.
    std::printf("replay %s (%zu bytes)", f.c_str(), data.size());
    std::fflush(stdout);
    session_stats st;
    const std::string why = run_session(data, &st);
    std::printf(": %zu requests, %zu changes, a document of up to %zu bytes, %zu lines, %zu blocks deep\n",
                st.requests, st.changes, st.bytes, st.lines, st.depth);
    if (!why.empty()) {
      std::printf("  FAILED: %s\n", why.c_str());
      failed = 1;
    }
  }
  std::printf("replayed %zu sessions\n", files.size());
  // Nothing replayed means the paths are wrong, not that all is well.
  return files.empty() ? 1 : failed;
}
