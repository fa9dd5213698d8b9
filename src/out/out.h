// The output line list: the text that translation appends to, line by line.
#pragma once

#include <cstddef>
#include <string_view>


// The output text: every line followed by "\n"; lines are appended and never changed. A plain
// growing buffer, because appending is the translator's innermost step: std::string tested its
// room and wrote a terminating NUL for every piece of every line, a tenth of the whole run.
struct outbuf {
  char* buf = nullptr;
  size_t len = 0;
  size_t cap = 0;
  // Set while the output is staged elsewhere (a file): called with `drain_to` and the bytes held
  // when they no longer leave room, which are then dropped from the buffer. Null: the buffer
  // grows instead.
  void (*drain)(void* to, std::string_view held) = nullptr;
  void* drain_to = nullptr;

  std::string_view view() const { return {buf, len}; }
  bool empty() const { return len == 0; }
  void clear() { len = 0; }
  // Empty it and give its memory back, for a long-lived caller (the language server) after a
  // large text; the next append grows it again.
  void release() {
    delete[] buf;
    buf = nullptr;
    len = cap = 0;
  }
  // Make room for `n` bytes in all, keeping those held.
  void reserve(size_t n);
  // Make room for `n` bytes more.
  void make_room(size_t n);
  // Where the next `n` bytes go; the caller writes them and adds `n` to `len`.
  char* room(size_t n) {
    if (cap - len < n) make_room(n);
    return buf + len;
  }
};

extern outbuf out_thing;
