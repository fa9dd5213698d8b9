// Operand tests and number conversion: what counts as a number or an immediate, and its value.
#include "cond/cond.h"

#include <limits>

// "0x" or "0X" followed by at least one byte: the text is read as hexadecimal, never decimal.
static bool hexform(std::string_view s) {
  return s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
}

// isdigit() and isxdigit() with no locale set, tested in line.
static bool dec(char c) { return c >= '0' && c <= '9'; }
static bool hex(char c) { return dec(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }

template <class Test>
static bool all_of(std::string_view s, Test test) {
  for (char c : s)
    if (!test(c)) return false;
  return true;
}

bool isnum2(std::string_view s) {
  if (s.empty()) return false;
  if (hexform(s)) return all_of(s.substr(2), hex);
  return all_of(s, dec);
}

bool isimm2(std::string_view s) {
  if (isnum2(s)) return true;
  return s.size() >= 2 && s.front() == '\'' && s.back() == '\'';
}

static int digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// Only the value counts against the range, so any number of leading zeros converts.
std::optional<int64_t> numparse(std::string_view s) {
  int base = 10;
  if (hexform(s)) {
    base = 16;
    s.remove_prefix(2);
  }
  constexpr uint64_t top = std::numeric_limits<int64_t>::max();
  uint64_t v = 0;
  for (char c : s) {
    uint64_t d = static_cast<uint64_t>(digit(c));
    if (v > (top - d) / static_cast<uint64_t>(base)) return std::nullopt;
    v = v * static_cast<uint64_t>(base) + d;
  }
  return static_cast<int64_t>(v);
}
