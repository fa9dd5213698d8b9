// Reading the input whole, and writing the output file and the echo, with every failure seen.
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/common.h"
#include "driver/driver.h"

static std::unique_ptr<char[]> inbuf;
static void* inmap = nullptr;
static size_t inmap_len = 0;
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

// A mapped input that another process cuts short raises SIGBUS on the first page past its new
// end. The map is read only while translating, before anything is written, so the run ends as
// a read error ends it.
static void lost_input(int) {
  bail("cant open\n", 2);
  _exit(2);
}

// Output is rarely much longer than input; reserving only maps pages, it does not touch them.
static void reserve_output(size_t len) {
  out_thing.reserve(len + len / 2 + 256);
  // Huge pages under a large output: one page fault per 2 MiB written instead of one per 4 KiB.
  constexpr uintptr_t huge = uintptr_t{1} << 21;
  const uintptr_t at = reinterpret_cast<uintptr_t>(out_thing.data());
  const uintptr_t b = (at + huge - 1) & ~(huge - 1);
  const uintptr_t e = (at + out_thing.capacity()) & ~(huge - 1);
  if (b < e) madvise(reinterpret_cast<void*>(b), e - b, MADV_HUGEPAGE);
}

// Map a regular file instead of copying it: its pages are in the page cache already, and reading
// them into a fresh buffer cost a page fault and a copy for every 4 KiB.
static bool map_input(int fd, size_t len) {
  void* p = mmap(nullptr, len, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
  if (p == MAP_FAILED) return false;
  struct sigaction sa {};
  sa.sa_handler = lost_input;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGBUS, &sa, nullptr);
  if (inmap) munmap(inmap, inmap_len);
  inmap = p;
  inmap_len = len;
  file_lines = std::string_view(static_cast<const char*>(p), len);
  return true;
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
  const bool regular = S_ISREG(st.st_mode) && st.st_size > 0;
  if (regular && map_input(fd, static_cast<size_t>(st.st_size))) {
    close(fd);
    reserve_output(file_lines.size());
    return true;
  }
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
      return false;
    }
    if (n == 0) break;
    len += static_cast<size_t>(n);
  }
  close(fd);
  inbuf = std::move(buf);
  file_lines = std::string_view(inbuf.get(), len);
  reserve_output(len);
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

// Write straight into `out`: for a name that cannot be replaced by a new file without changing
// what it is (a link shared with other names, a file of another owner, a device, a folder
// without room for a second file). A partly written regular file is removed.
static bool write_in_place(const std::string& out) {
  // No O_TRUNC: a rerun writes over the old file's pages and then cuts off what is left of it.
  // Truncating first frees every block and makes the file system flush the new ones at close,
  // which took longer than the whole translation.
  int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  struct stat st;
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  bool ok = write_all(fd, out_thing);
  if (ok && regular && ftruncate(fd, static_cast<off_t>(out_thing.size())) != 0) ok = false;
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

// Write a new file beside `path` and rename it over `path` once it is complete, so that a write
// that fails leaves the old file exactly as it was. `old` is the file being replaced, or null.
// Returns 1 on success, 0 on failure, and -1 when no file can be made beside it.
static int write_beside(const std::string& path, const struct stat* old) {
  std::string tmp = path + ".tmp-XXXXXX";
  int fd = mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) return -1;
  mode_t mode;
  if (old) {
    mode = old->st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  bool ok = fchmod(fd, mode) == 0 && write_all(fd, out_thing);
  if (close(fd) != 0) ok = false;
  if (ok && rename(tmp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) unlink(tmp.c_str());
  return ok ? 1 : 0;
}

bool write_output(const std::string& out) {
  // A symbolic link keeps pointing where it did: the file it names is the one replaced.
  std::string target = out;
  struct stat st;
  bool exists = lstat(out.c_str(), &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) {
    char* real = realpath(out.c_str(), nullptr);
    exists = real && lstat(real, &st) == 0;
    if (!exists) {
      free(real);
      return write_in_place(out);  // a dangling link: create the file it names
    }
    target = real;
    free(real);
  }
  const bool replaceable =
      !exists || (S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == geteuid());
  if (replaceable) {
    int r = write_beside(target, exists ? &st : nullptr);
    if (r >= 0) return r == 1;
  }
  return write_in_place(out);
}

bool echo_output() {
  if (out_thing.empty()) return true;
  if (stdout_closed) return false;
  return write_all(1, out_thing);
}
