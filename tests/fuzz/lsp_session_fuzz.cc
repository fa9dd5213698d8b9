// libFuzzer entry point for whole editor sessions with the language server: the input is the
// program of session.cc, which writes the document, edits it and asks every request.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  session_stats st;
  const std::string why = run_session(std::string_view(reinterpret_cast<const char*>(data), size), &st);
  if (why.empty()) return 0;
  std::fprintf(stderr, "oracle: %s\n(document of %zu bytes, %zu lines, %zu blocks deep)\n",
               why.c_str(), st.bytes, st.lines, st.depth);
  std::abort();
}
