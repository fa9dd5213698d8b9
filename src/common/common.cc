// Trimming, lower-casing and error reporting, done byte by byte with no locale.
#include "common/common.h"

#include <cerrno>
#include <unistd.h>

// tolower() as it behaves with no locale set.
static char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

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
