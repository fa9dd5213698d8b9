// Reading the input whole, and writing the output file and the echo, with every failure seen.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/driver.h"

static std::unique_ptr<char[]> inbuf;
static dev_t in_dev = 0;
static ino_t in_ino = 0;
static bool stdout_closed = false;

void guard_fds() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == 1) stdout_closed = true;
    // open() returns the lowest free descriptor, which is `fd` itself here.
    int got = open("/dev/null", O_RDWR);
    if (got != fd && got >= 0) close(got);
  }
}

bool read_input(const char* path) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    close(fd);
    return false;
  }
  in_dev = st.st_dev;
  in_ino = st.st_ino;
  // One byte more than the file holds, so the read that finds the end needs no larger buffer.
  size_t cap = 1 << 16;
  if (S_ISREG(st.st_mode) && st.st_size > 0) cap = static_cast<size_t>(st.st_size) + 1;
  std::unique_ptr<char[]> buf(new char[cap]);
  size_t len = 0;
  for (;;) {
    if (len == cap) {  // the file grew, or its size was not known
      std::unique_ptr<char[]> more(new char[cap * 2]);
      std::memcpy(more.get(), buf.get(), len);
      buf = std::move(more);
      cap *= 2;
    }
    ssize_t n = read(fd, buf.get() + len, cap - len);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {  // a directory, or an I/O error: a truncated input is no input
      close(fd);
      return false;
    }
    if (n == 0) break;
    len += static_cast<size_t>(n);
  }
  close(fd);
  inbuf = std::move(buf);
  file_lines = std::string_view(inbuf.get(), len);
  // Output is rarely much longer than input; reserving only maps pages, it does not touch them.
  out_thing.reserve(len + len / 2 + 256);
  return true;
}

std::string out_path(std::string_view in) {
  size_t slash = in.rfind('/');
  size_t base = slash == std::string_view::npos ? 0 : slash + 1;
  size_t dot = in.rfind('.');
  if (dot != std::string_view::npos && dot >= base) in = in.substr(0, dot);
  std::string out(in);
  out += ".asm";
  return out;
}

bool names_input(const std::string& out, std::string_view in) {
  if (out == in) return true;
  struct stat st;
  return stat(out.c_str(), &st) == 0 && st.st_dev == in_dev && st.st_ino == in_ino;
}

static bool write_all(int fd, std::string_view s) {
  while (!s.empty()) {
    ssize_t n = write(fd, s.data(), s.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    s.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool write_output(const std::string& out) {
  int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = write_all(fd, out_thing);
  struct stat st;
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (close(fd) != 0) ok = false;
  if (!ok && regular) {
    // Remove the incomplete file, but only if the name is still that file and not a link to it.
    struct stat ln;
    if (lstat(out.c_str(), &ln) == 0 && S_ISREG(ln.st_mode) && ln.st_dev == st.st_dev &&
        ln.st_ino == st.st_ino)
      unlink(out.c_str());
  }
  return ok;
}

bool echo_output() {
  if (out_thing.empty()) return true;
  if (stdout_closed) return false;
  return write_all(1, out_thing);
}
