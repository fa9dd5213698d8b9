// The line scanner: depth markers, closing by depth, comments, and dispatch to the statements.
#include <bit>
#include <cstdint>
#include <cstring>

#include "codegen/codegen.h"
#include "common/common.h"
#include "driver/driver.h"

std::string_view file_lines;
int64_t lnum = 0;

// Whether `w` spells the lower-case keyword `kw`, of the same length, in any case.
static bool same_word(std::string_view w, std::string_view kw) {
  // `kw` is lower case; setting bit 5 of a letter lower-cases it and makes no other byte equal
  // to a lower-case letter that it was not already.
  for (size_t i = 0; i < kw.size(); ++i)
    if ((w[i] | 0x20) != kw[i]) return false;
  return true;
}

// The statements, and none for any other line.
enum class stmt { none, if_, elif, else_, while_, end };

// The statement that the first word of `body` names, ignoring case. Most lines are
// instructions, and a test of the first byte spares them the rest.
static stmt keyword(std::string_view body, size_t& len) {
  switch (body[0]) {
    case 'i': case 'I': case 'e': case 'E': case 'w': case 'W': break;
    default: return stmt::none;
  }
  // The word ends at its first space or tab; a word longer than "while" is no keyword.
  size_t n = 0;
  while (n < body.size() && n < 6 && body[n] != ' ' && body[n] != '\t') ++n;
  len = n;
  const std::string_view w = body.substr(0, n);
  switch (n) {
    case 2: return same_word(w, "if") ? stmt::if_ : stmt::none;
    case 3: return same_word(w, "end") ? stmt::end : stmt::none;
    case 4:
      if (same_word(w, "elif")) return stmt::elif;
      return same_word(w, "else") ? stmt::else_ : stmt::none;
    case 5: return same_word(w, "while") ? stmt::while_ : stmt::none;
    default: return stmt::none;
  }
}

// 0x80 in every byte of `w` that equals `c`, 0 in every other byte. Exact: adding 0x7f to the
// low seven bits of a byte sets its top bit unless they are all zero, and never carries out of
// the byte.
static uint64_t bytes_eq(uint64_t w, char c) {
  constexpr uint64_t low7 = 0x7f7f7f7f7f7f7f7f;
  const uint64_t x = w ^ (0x0101010101010101 * static_cast<unsigned char>(c));
  return ~(((x & low7) + low7) | x) & ~low7;
}

// The length of the marker prefix of `line`, "&" and spaces in any mix (a tab ends it); adds
// the number of "&" in it to `depth`. Eight bytes are tested at once: a byte loop ends at a
// different place on every line, and the mispredicted end of it cost a tenth of the run.
static size_t markers(std::string_view line, int64_t& depth) {
  size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + 8 <= line.size(); i += 8) {
      uint64_t w;
      std::memcpy(&w, line.data() + i, 8);
      const uint64_t amp = bytes_eq(w, '&');
      const uint64_t rest = ~(amp | bytes_eq(w, ' ')) & 0x8080808080808080;
      // The bytes before the first that is neither; the first byte in memory is the lowest.
      const uint64_t in = rest ? (rest & -rest) - 1 : ~uint64_t{0};
      // Summing the bytes of (amp >> 7) counts the markers: a multiply adds them into the top.
      depth += static_cast<int64_t>((((amp & in) >> 7) * 0x0101010101010101) >> 56);
      if (rest) return i + static_cast<size_t>(std::countr_zero(rest) / 8);
    }
  }
  for (; i < line.size() && (line[i] == '&' || line[i] == ' '); ++i) depth += line[i] == '&';
  return i;
}

// Append `text`, a part of file_lines, as one output line. A short line is copied as one block
// of 32 bytes whenever the input goes on that far, and the bytes past its end are written over
// by the next line: a copy whose length is that of the line takes a branch that goes another
// way on every other line.
static void pass(std::string_view text) {
  constexpr size_t block = 32;
  const auto at = reinterpret_cast<uintptr_t>(text.data());
  const auto begin = reinterpret_cast<uintptr_t>(file_lines.data());
  const uintptr_t end = begin + file_lines.size();
  if (text.size() >= block || at < begin || at > end || end - at < block) {
    emit(text);
    return;
  }
  char* p = out_thing.room(block);
  std::memcpy(p, text.data(), block);
  p[text.size()] = '\n';
  out_thing.len += text.size() + 1;
}

int translate_line(std::string_view line) {
  int64_t depth = 0;
  std::string_view body = trimx(line.substr(markers(line, depth)));

  // Every line, blank and comment lines too, ends the blocks opened deeper than it.
  if (!stk.empty() && stk.back().depth > depth) close_til(depth + 1);

  if (body.empty() || body[0] == ';') {
    pass(line);
    return 0;
  }
  size_t len = 0;
  const stmt kw = keyword(body, len);
  if (kw == stmt::none) {
    pass(body);
    return 0;
  }
  std::string_view arg = trimx(body.substr(len));
  switch (kw) {
    case stmt::if_: return do_if(depth, arg);
    case stmt::elif: return do_elif(depth, arg);
    case stmt::else_: return do_else(depth, arg);
    case stmt::while_: return do_while(depth, arg);
    default: return do_end(depth, arg);
  }
}

int translate_all() {
  const char* text = file_lines.data();
  const size_t size = file_lines.size();
  size_t pos = 0;
  for (lnum = 0; pos < size; ++lnum) {
    const void* nl = std::memchr(text + pos, '\n', size - pos);
    const size_t end = nl ? static_cast<size_t>(static_cast<const char*>(nl) - text) : size;
    std::string_view line(text + pos, end - pos);
    // A CRLF file translates like the same file with LF line ends.
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (int st = translate_line(line)) return st;
    pos = nl ? end + 1 : size;
  }
  close_til(0);
  return 0;
}

void restart() {
  file_lines = {};
  out_thing.clear();
  lnum = 0;
  stk.clear();
  lbl_n = 0;
}
