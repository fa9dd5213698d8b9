// Lower-casing, the status table, and writing whole buffers, done with no locale.
#include "common/common.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>


std::string lowerme(std::string s) {
  for (char& c : s) c = lower(c);
  return s;
}

bool same_icase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

std::string_view message(st s) {
  switch (s) {
    case st::ok: return {};
    case st::no_input: return "no input\n";
    case st::cant_open: return "cant open\n";
    case st::bad_if: return "bad if\n";
    case st::imm_lhs_if: case st::imm_lhs_elif: case st::imm_lhs_while: return "imm lhs\n";
    case st::elif_bad: return "elif bad\n";
    case st::bad_elif: return "bad elif\n";
    case st::else_bad: return "else bad\n";
    case st::bad_while: return "bad while\n";
    case st::end_bad: return "end bad\n";
    case st::big_num: return "big num\n";
    case st::cant_write: return "cant write\n";
    case st::same_file: return "same file\n";
    case st::no_memory: return "no memory\n";
  }
  return {};
}

bool write_all(int fd, std::string_view s) {
  while (!s.empty()) {
    const ssize_t n = ::write(fd, s.data(), s.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // A non-blocking pipe that is full: wait until the reader makes room.
      pollfd p{fd, POLLOUT, 0};
      if (poll(&p, 1, -1) < 0 && errno != EINTR) return false;
      continue;
    }
    if (n <= 0) return false;
    s.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

int err_fd = 2;

int bail(st s) {
  // One write for the whole message, so it cannot interleave with anything else. When nothing
  // is left to report to, the status still tells.
  if (err_fd >= 0) write_all(err_fd, message(s));
  return static_cast<int>(s);
}
