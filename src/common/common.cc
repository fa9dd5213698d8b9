// Trimming, lower-casing and error reporting, done byte by byte with no locale.
#include "common/common.h"

#include <cctype>
#include <cerrno>
#include <unistd.h>

std::string_view trimx(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

std::string lowerme(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
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
