// The driver: the input and output line lists, the line scanner, and reading and writing files.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// The whole input as read: lines end at "\n", and one "\r" before it (or at the very end of the
// text) is not part of the line. Only read once reading is done.
extern std::string_view file_lines;

// The output text: every line followed by "\n"; lines are appended and never changed. A plain
// growing buffer, because appending is the translator's innermost step: std::string tested its
// room and wrote a terminating NUL for every piece of every line, a tenth of the whole run.
struct outbuf {
  char* buf = nullptr;  // on the heap, or the map of the output's finished staging file
  size_t len = 0;
  size_t cap = 0;

  std::string_view view() const { return {buf, len}; }
  bool empty() const { return len == 0; }
  void clear() { len = 0; }
  // Make room for `n` bytes in all, keeping those held.
  void reserve(size_t n);
  // Make room for `n` bytes more; while the output is staged in a file, the bytes held so far
  // may go to the file.
  void make_room(size_t n);
  // Where the next `n` bytes go; the caller writes them and adds `n` to `len`.
  char* room(size_t n) {
    if (cap - len < n) make_room(n);
    return buf + len;
  }
};

extern outbuf out_thing;

// Index of the input line being translated, 0 for the first.
extern int64_t lnum;

// Copy `s` to `p` and return the end of the copy. Most pieces of a line are a few bytes long,
// and calling memcpy for each cost more than copying them: up to 32 bytes are copied as two
// overlapping blocks of a fixed size, which read and write nothing outside `s` and its copy.
inline char* put(char* p, std::string_view s) {
  const char* q = s.data();
  const size_t n = s.size();
  const auto two = [&](auto block) {
    std::memcpy(&block, q, sizeof block);
    std::memcpy(p, &block, sizeof block);
    std::memcpy(&block, q + n - sizeof block, sizeof block);
    std::memcpy(p + n - sizeof block, &block, sizeof block);
  };
  if (n > 32) std::memcpy(p, q, n);
  else if (n >= 16) two(std::array<uint64_t, 2>{});
  else if (n >= 8) two(uint64_t{});
  else if (n >= 4) two(uint32_t{});
  else if (n > 0) {
    p[0] = q[0];
    p[n / 2] = q[n / 2];
    p[n - 1] = q[n - 1];
  }
  return p + n;
}

// Append one output line made of `parts`, followed by "\n".
template <class... T>
void emit(const T&... parts) {
  const std::string_view v[] = {std::string_view(parts)...};
  size_t n = 1;
  for (std::string_view s : v) n += s.size();
  char* p = out_thing.room(n);
  for (std::string_view s : v) p = put(p, s);
  *p = '\n';
  out_thing.len += n;
}

// Translate one input line (without its terminator). Returns 0, or a statement error's status.
int translate_line(std::string_view line);

// Translate every line of file_lines, then close the blocks still open. Returns 0, or the status
// of the first statement error.
int translate_all();

// Forget everything a translation left behind, so another can start as if the process were new.
void restart();

// Read the file at `path` into file_lines. False when it cannot be opened or read.
bool read_input(const char* path);

// The input path with the last extension of its final component replaced by ".asm".
// For instance out_path("work.d/prog") returns "work.d/prog.asm".
std::string out_path(std::string_view in);

// True when writing `out` would write over the input file that read_input read.
bool names_input(const std::string& out, std::string_view in);

// Choose where out_thing is built: in an unnamed file beside `out` (none for an empty name)
// that becomes the output file when it is complete, or on the heap. Call after read_input. Until
// write_output, out_thing then holds only the part of the output not yet in that file.
void prepare_output(const std::string& out);

// Write out_thing to the file `out`, in full, and close it; an old file there is replaced only
// by a complete new one. On failure the old file is left as it was, a partly written new one is
// removed, and false is returned.
bool write_output(const std::string& out);

// Write out_thing to standard output. False when that fails.
bool echo_output();

// Make sure descriptors 0, 1 and 2 are open, so that no file opened later takes one of their
// numbers; remember whether standard output was closed.
void guard_fds();
