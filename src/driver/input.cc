// Reading the input whole, and the output path that comes from the input's.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <unistd.h>

#include "driver/driver.h"
#include "scan/scan.h"

static std::unique_ptr<char[]> inbuf;
static void* inmap = nullptr;
static size_t inmap_len = 0;
static dev_t in_dev = 0;
static ino_t in_ino = 0;
// A regular input stays open until it is translated, to be looked at again then.
static int in_fd = -1;
static struct stat in_was {};

// Map a regular file instead of copying it: its pages are in the page cache already, and reading
// them into a fresh buffer cost a page fault and a copy for every 4 KiB. Pages are mapped as the
// scan reaches them, not all at once, so that those already read can be let go (drop_input):
// the 100 MiB mix peaks at 9 MB instead of 105 MB, in the same time. The map is read only
// while translating, before anything is written, so a page lost to a file cut short ends the
// run as a read error ends it.
static bool map_input(int fd, size_t len) {
  void* p = mmap(nullptr, len, PROT_READ, MAP_PRIVATE, fd, 0);
  if (p == MAP_FAILED) return false;
  if (inmap) munmap(inmap, inmap_len);
  inmap = p;
  inmap_len = len;
  watch_map(p, len);
  file_lines = std::string_view(static_cast<const char*>(p), len);
  return true;
}

bool read_input(const char* path) {
  if (in_fd >= 0) close(in_fd);
  in_fd = -1;
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    close(fd);
    return false;
  }
  in_dev = st.st_dev;
  in_ino = st.st_ino;
  if (S_ISREG(st.st_mode)) {
    in_fd = fd;
    in_was = st;
  }
  const bool regular = S_ISREG(st.st_mode) && st.st_size > 0;
  if (regular && map_input(fd, static_cast<size_t>(st.st_size))) return true;
  // Anything that cannot be mapped (a pipe, a device, an empty file) is read.
  // One byte more than the file holds, so the read that finds the end needs no larger buffer.
  size_t cap = 1 << 16;
  if (regular) cap = static_cast<size_t>(st.st_size) + 1;
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
      in_fd = -1;
      return false;
    }
    if (n == 0) break;
    len += static_cast<size_t>(n);
  }
  if (in_fd != fd) close(fd);
  inbuf = std::move(buf);
  file_lines = std::string_view(inbuf.get(), len);
  return true;
}

bool input_unchanged() {
  if (in_fd < 0) return true;  // a pipe or a device: what was read is all there is
  struct stat now;
  return fstat(in_fd, &now) == 0 && now.st_size == in_was.st_size &&
         now.st_mtim.tv_sec == in_was.st_mtim.tv_sec &&
         now.st_mtim.tv_nsec == in_was.st_mtim.tv_nsec;
}

int verdict(int translated, bool same) {
  if (!input_unchanged()) return static_cast<int>(st::cant_open);
  if (translated) return translated;
  return same ? static_cast<int>(st::same_file) : 0;
}

void drop_input(size_t upto) {
  // Whole pages only, and only of a map: they are read again from the file should they ever be
  // touched. A million blocks open at once (16 MB of input) peaked 11 MB lower.
  if (!inmap) return;
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t n = upto / page * page;
  if (n > 0) madvise(inmap, n, MADV_DONTNEED);
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
  if (stat(out.c_str(), &st) == 0 && st.st_dev == in_dev && st.st_ino == in_ino) return true;
  // The output's links are followed one at a time, each lookup with the kernel's limit of its
  // own, so they can reach a file that one stat() gives up on: the input too.
  return writes_over(out, in_dev, in_ino);
}
