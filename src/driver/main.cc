// nestasm: translate structured assembly into flat assembly, beside the input as ".asm".
#include "common/common.h"
#include "driver/driver.h"
#include "scan/scan.h"

int main(int argc, char** argv) {
  guard_fds();
  guard_signals();
  if (argc < 2) return bail(st::no_input);
  if (!read_input(argv[1])) return bail(st::cant_open);
  const std::string out = out_path(argv[1]);
  const bool same = names_input(out, argv[1]);
  output o;
  prepare_output(o, same ? std::string() : out);
  // A statement error found in an input that changed meanwhile may be an artefact of the
  // change: the message waits until the input is known to be as it was read.
  const int said = err_fd;
  err_fd = -1;
  const int r = translate_all(drop_input);
  err_fd = said;
  if (const int v = verdict(r, same)) return bail(static_cast<st>(v));
  // The file first and complete: an echo cut short by a closed pipe must not cost the file.
  out_bytes made;
  if (!write_output(o, made)) return bail(st::cant_write);
  if (!echo_output(made)) return bail(st::cant_write);
  return 0;
}
