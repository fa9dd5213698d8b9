// Trimming, lower-casing and error reporting, done byte by byte with no locale.
#include "common/common.h"

#include <cerrno>
#include <unistd.h>

// isspace() and tolower() as they behave with no locale set, which is always the case here.
// Tested in line: a library call for every byte of every line cost more than the rest of the
// scan.
static bool space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

static char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view trimx(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && space(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && space(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

std::string lowerme(std::string s) {
  for (char& c : s) c = lower(c);
  return s;
}

int bail(std::string_view msg, int status) {
  // One write for the whole message, so it cannot interleave with anything else.
  const char* p = msg.data();
  size_t left = msg.size();
  while (left > 0) {
    ssize_t n = ::write(2, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // nowhere left to report to; the status still tells
    p += n;
    left -= static_cast<size_t>(n);
  }
  return status;
}
