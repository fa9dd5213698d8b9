// The output: the buffer the translation appends to, the unnamed file it is staged in, and
// writing it beside the input and to standard output, with every failure seen.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/driver.h"

outbuf out_thing;

static bool stdout_closed = false;

// The staging file: an unnamed file in the output's folder that the output is written to, a
// window at a time, while it is being made. A buffer for the whole output was fresh memory that
// the kernel cleared page by page and that was copied into the page cache again at the end,
// half of a large run; a window stays in the cache while it fills, and the page cache holds the
// one whole copy. Nothing can see the file until it is given a name, and it vanishes with the
// process if it never is. -1 while out_thing holds the whole output on the heap.
static int stage_fd = -1;
static std::string stage_target;  // the file that the staged one is to replace
static size_t staged = 0;         // bytes of the output in the staging file
static bool stage_failed = false;  // a write to it failed: the output cannot be written
static bool mapped = false;       // out_thing.buf maps the finished staging file

// 256 KiB: small enough to stay in the cache, large enough that writes are few.
constexpr size_t window = size_t{1} << 18;

void guard_fds() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == 1) stdout_closed = true;
    // open() returns the lowest free descriptor, which is `fd` itself here.
    int got = open("/dev/null", O_RDWR);
    if (got != fd && got >= 0) close(got);
  }
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

// A new buffer of `n` bytes for out_thing, holding what the old one held.
static void new_buffer(size_t n) {
  // Not value-initialised: a page is touched first when the output reaches it.
  char* more = new char[n];
  if (out_thing.len > 0) std::memcpy(more, out_thing.buf, out_thing.len);
  if (mapped) munmap(out_thing.buf, out_thing.cap);
  else delete[] out_thing.buf;
  mapped = false;
  out_thing.buf = more;
  out_thing.cap = n;
  // Huge pages under a large output: one page fault per 2 MiB written instead of one per 4 KiB.
  constexpr uintptr_t huge = uintptr_t{1} << 21;
  const uintptr_t at = reinterpret_cast<uintptr_t>(more);
  const uintptr_t b = (at + huge - 1) & ~(huge - 1);
  const uintptr_t e = (at + n) & ~(huge - 1);
  if (b < e) madvise(reinterpret_cast<void*>(b), e - b, MADV_HUGEPAGE);
}

// Move the window to the staging file and empty it. After a failed write nothing more is
// written, but the translation goes on: a statement error further down still comes first.
static void spill() {
  if (!stage_failed && !write_all(stage_fd, out_thing.view())) stage_failed = true;
  staged += out_thing.len;
  out_thing.len = 0;
}

void outbuf::make_room(size_t n) {
  if (stage_fd >= 0 && !mapped) {
    spill();
    // One piece longer than the window gets a window of its own size.
    if (n > cap) new_buffer(n);
    return;
  }
  // Doubling keeps the copies of a growing output linear in its size.
  new_buffer(std::max(len + n, cap * 2));
}

void outbuf::reserve(size_t n) {
  if (n > cap) make_room(n - len);
}

// Stage the output in the folder of `target`.
static bool stage(const std::string& target) {
  const size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const int fd = open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) return false;  // a file system without unnamed files, or a folder not writable
  stage_fd = fd;
  stage_target = target;
  out_thing.reserve(window);
  return true;
}

// The whole output in out_thing again once the translation is done: the rest of the window is
// staged, and the staging file mapped for reading. False when it could not all be written.
static bool finish_stage() {
  spill();
  if (stage_failed) return false;
  if (staged == 0) return true;
  void* p = mmap(nullptr, staged, PROT_READ, MAP_SHARED, stage_fd, 0);
  if (p == MAP_FAILED) {
    // Read it back instead, in as many reads as it takes.
    new_buffer(staged);
    while (out_thing.len < staged) {
      const ssize_t n = pread(stage_fd, out_thing.buf + out_thing.len, staged - out_thing.len,
                              static_cast<off_t>(out_thing.len));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      out_thing.len += static_cast<size_t>(n);
    }
    return true;
  }
  delete[] out_thing.buf;
  out_thing.buf = static_cast<char*>(p);
  out_thing.len = out_thing.cap = staged;
  mapped = true;
  return true;
}

// What writing `out` replaces: `target` is the file it names, symbolic links followed, and `st`
// describes it when `exists`. False when no new file can take its place without changing what
// it is (a link shared with other names, a file of another owner, a device, a dangling link),
// so that the output has to be written into it.
static bool replaceable(const std::string& out, std::string& target, struct stat& st,
                        bool& exists) {
  target = out;
  exists = lstat(out.c_str(), &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) {
    // A symbolic link keeps pointing where it did: the file it names is the one replaced.
    char* real = realpath(out.c_str(), nullptr);
    exists = real && lstat(real, &st) == 0;
    if (real) target = real;
    free(real);
    if (!exists) return false;  // a dangling link: create the file it names
  }
  return !exists || (S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == geteuid());
}

void prepare_output(const std::string& out) {
  std::string target;
  struct stat st;
  bool exists = false;
  if (!out.empty() && replaceable(out, target, st, exists) && stage(target)) return;
  // Output is rarely much longer than input; until it is written, reserving costs no memory.
  out_thing.reserve(file_lines.size() + file_lines.size() / 2 + 256);
}

// The mode of a file made to replace `old` (null for none): the old file's, or what creating a
// new file would give it.
static mode_t mode_for(const struct stat* old) {
  if (old) return old->st_mode & 07777;
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// Write straight into `out`: for a name that cannot be replaced by a new file without changing
// what it is, or a folder without room for a second file. A partly written regular file is
// removed.
static bool write_in_place(const std::string& out) {
  // No O_TRUNC: a rerun writes over the old file's pages and then cuts off what is left of it.
  // Truncating first frees every block and makes the file system flush the new ones at close,
  // which took longer than the whole translation.
  int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  struct stat st;
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  bool ok = write_all(fd, out_thing.view());
  if (ok && regular && ftruncate(fd, static_cast<off_t>(out_thing.len)) != 0) ok = false;
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

// Put the complete file `tmp` in the place of the existing file `path`, and remove the old one
// that then has the name `tmp`. False when the file system cannot swap two names; rename() is
// left to do it then. ext4 renaming over an existing file starts writing the new file back to
// disk before it returns, which cost more than writing the file; a swap does not.
static bool swap_in(const std::string& tmp, const std::string& path) {
  const char* a = tmp.c_str();
  const char* b = path.c_str();
  if (renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE) != 0) return false;
  if (unlink(a) == 0) return true;
  // Something other than a file took the name since it was looked at: give it its name back.
  renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE);
  return false;
}

// Move the complete file named `tmp` to `path`, in place of `old` if there is one. On failure
// `tmp` is removed.
static bool put_in_place(const std::string& tmp, const std::string& path, const struct stat* old) {
  if (old && swap_in(tmp, path)) return true;
  if (rename(tmp.c_str(), path.c_str()) == 0) return true;
  unlink(tmp.c_str());
  return false;
}

// Write a new file beside `path` and rename it over `path` once it is complete, so that a write
// that fails leaves the old file exactly as it was. `old` is the file being replaced, or null.
// Returns 1 on success, 0 on failure, and -1 when no file can be made beside it.
static int write_beside(const std::string& path, const struct stat* old) {
  std::string tmp = path + ".tmp-XXXXXX";
  int fd = mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) return -1;
  bool ok = fchmod(fd, mode_for(old)) == 0 && write_all(fd, out_thing.view());
  if (close(fd) != 0) ok = false;
  if (!ok) {
    unlink(tmp.c_str());
    return 0;
  }
  return put_in_place(tmp, path, old) ? 1 : 0;
}

// Give the staging file, which holds the whole output, a name beside `path` and move it there.
// Returns 1 on success, 0 on failure, and -1 when it cannot be named; nothing is changed then.
static int publish(const std::string& path, const struct stat* old) {
  if (fchmod(stage_fd, mode_for(old)) != 0) return -1;
  // Naming an unnamed file takes its /proc entry; linkat() refuses a name already taken.
  char proc[40];
  std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", stage_fd);
  const std::string stem = path + ".tmp-" + std::to_string(getpid()) + "-";
  std::string tmp;
  for (int k = 0;; ++k) {
    tmp = stem + std::to_string(k);
    if (linkat(AT_FDCWD, proc, AT_FDCWD, tmp.c_str(), AT_SYMLINK_FOLLOW) == 0) break;
    if (errno != EEXIST || k == 99) return -1;
  }
  return put_in_place(tmp, path, old) ? 1 : 0;
}

bool write_output(const std::string& out) {
  if (stage_fd >= 0 && !finish_stage()) return false;
  std::string target;
  struct stat st;
  bool exists = false;
  if (!replaceable(out, target, st, exists)) return write_in_place(out);
  const struct stat* old = exists ? &st : nullptr;
  int r = -1;
  if (stage_fd >= 0 && target == stage_target) r = publish(target, old);
  if (r < 0) r = write_beside(target, old);
  if (r >= 0) return r == 1;
  return write_in_place(out);
}

bool echo_output() {
  if (out_thing.empty()) return true;
  if (stdout_closed) return false;
  return write_all(1, out_thing.view());
}
