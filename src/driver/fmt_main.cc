// nestasm-fmt: write a file's markers in the one layout, keeping what it translates to.
#include <algorithm>
#include <string>
#include <string_view>

#include "common/common.h"
#include "driver/driver.h"
#include "fmt/fmt.h"
#include "out/out.h"
#include "scan/scan.h"

#ifndef NESTASM_VERSION
#define NESTASM_VERSION "0"
#endif

static const char usage[] =
    "usage: nestasm-fmt [--check | --in-place] FILE\n"
    "Write FILE to stdout with every line's depth markers in one layout, \"& \" for each, and\n"
    "the text after them trimmed; blank and comment lines stay as they are. The result\n"
    "translates to exactly what FILE translates to.\n"
    "\n"
    "  --check      write nothing; say which line is the first not in that layout\n"
    "  --in-place   write the result back to FILE, which only a complete new file replaces\n"
    "  --help       this text\n"
    "  --version    the version\n"
    "\n"
    "Exit status: 0 done (with --check: FILE is in the layout); 1 with --check: it is not;\n"
    "2 cant open: FILE cannot be read, or changed while it was read; 3 the command line is\n"
    "wrong; 13 cant write: the result cannot be written; 15 no memory.\n";

static int bad_usage() {
  write_all(2, "usage: nestasm-fmt [--check | --in-place] FILE\n");
  return 3;
}

int main(int argc, char** argv) {
  guard_fds();
  guard_signals();
  enum { show, check, in_place } mode = show;
  const char* path = nullptr;
  bool more_opts = true;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (!more_opts || a.empty() || a[0] != '-' || a == "-") {
      if (path) return bad_usage();
      path = argv[i];
    } else if (a == "--") {
      more_opts = false;
    } else if (a == "--help") {
      return write_all(1, usage) ? 0 : bail(st::cant_write);
    } else if (a == "--version") {
      return write_all(1, "nestasm-fmt " NESTASM_VERSION "\n") ? 0 : bail(st::cant_write);
    } else if (a == "--check" && mode == show) {
      mode = check;
    } else if (a == "--in-place" && mode == show) {
      mode = in_place;
    } else {
      return bad_usage();
    }
  }
  if (!path) return bad_usage();
  if (!read_input(path)) return bail(st::cant_open);
  if (mode == check) {
    const int64_t at = first_untidy(file_lines);
    if (verdict(0, false)) return bail(st::cant_open);
    if (at < 0) return 0;
    const std::string said = std::string(path) + ":" + std::to_string(at + 1) + ": not formatted\n";
    return write_all(1, said) ? 1 : bail(st::cant_write);
  }
  const std::string text = tidy(file_lines);
  // A file torn by a writer meanwhile is not made the layout of what was read.
  if (verdict(0, false)) return bail(st::cant_open);
  out_bytes made;
  if (mode == show) {
    made.text = text;
    return echo_output(made) ? 0 : bail(st::cant_write);
  }
  // Already in the layout: the file, and its times, stay as they are.
  if (text == file_lines) return 0;
  output o;
  prepare_output(o, path);
  for (size_t at = 0; at < text.size(); at += window) {
    const size_t n = std::min(window, text.size() - at);
    std::copy_n(text.data() + at, n, out_thing.room(n));
    out_thing.len += n;
  }
  return write_output(o, made) ? 0 : bail(st::cant_write);
}
