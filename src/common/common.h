// Byte-string helpers shared by every part of the translator, and the one way to report an error.
#pragma once

#include <string>
#include <string_view>

// isspace() as it behaves with no locale set, which is always the case here. Tested in line: a
// library call for every byte of every line cost more than the rest of the scan.
inline bool is_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// `s` without the leading and trailing bytes that isspace() accepts (space, \t, \n, \v, \f, \r).
// The result views `s`, so it lives as long as `s` does. Inline: it runs twice on every line.
inline std::string_view trimx(std::string_view s) {
  const char* b = s.data();
  const char* e = b + s.size();
  while (b < e && is_space(static_cast<unsigned char>(*b))) ++b;
  while (e > b && is_space(static_cast<unsigned char>(e[-1]))) --e;
  return {b, static_cast<size_t>(e - b)};
}

// `s` with "A".."Z" turned into "a".."z"; every other byte, and the length, stays.
std::string lowerme(std::string s);

// Write `msg` to standard error and return `status`, so a handler can `return bail(...)`.
int bail(std::string_view msg, int status);
