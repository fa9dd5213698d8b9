// libFuzzer entry point for the language server: the input is what a client sends, read in two
// pieces as a stream may be; what comes back must be whole messages, each a JSON object.
#include <cstdint>
#include <cstdlib>

#include "lsp/lsp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  const size_t cut = size ? data[0] % size : 0;
  server s;
  feed(s, in.substr(0, cut));
  feed(s, in.substr(cut));
  publish(s);
  size_t at = 0;
  std::string_view body;
  std::string why;
  while (next_frame(s.out, at, body, why) == frame::message) {
    const json m = json::parse(body, nullptr, false);
    if (!m.is_object() || m.value("jsonrpc", "") != "2.0") abort();
  }
  if (at != s.out.size()) abort();
  return 0;
}
