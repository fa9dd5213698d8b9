// Loaded with LD_PRELOAD to make a call fail as some file systems make it fail, or to stop the
// run at a chosen point, so the robust cases can run the way the output is written there.
// REFUSE is a comma-separated list of:
//   tmpfile    open() refuses O_TMPFILE, as NFS or vfat do
//   sendfile   sendfile() refuses, as it does when standard output is a file opened for
//              appending
//   close      closing an unnamed file reports EIO, as a delayed write error would
//   swapback   removing a ".tmp-" file fails with EBUSY, and so does the second exchange of two
//              names, so a swap can neither finish nor be undone
//   shrink     the input is cut short by SHRINK bytes right after it is mapped
// FAILWRITE=N makes the Nth write to a file other than 0, 1, 2 write half of its bytes and then
// report EIO, as a disk failing in the middle of a write would.
// PAUSE=S sleeps S seconds after each write to a file other than 0, 1, 2.
// KILL=SIG:POINT[:N] raises SIG after the Nth call (default the first) at POINT succeeds:
// "write" (a write to a file other than 0, 1, 2) or "link" (a file given a name by linkat).
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

template <class F>
static F real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// Each refusal adds a byte to the file REFUSE_LOG names, so that a run can show that the shim was
// in front of the binary at all (a static binary, say, would never see it).
static bool refuse(const char* what) {
  const char* r = std::getenv("REFUSE");
  if (!r) return false;
  const size_t n = std::strlen(what);
  bool named = false;
  for (const char* p = r; !named && (p = std::strstr(p, what)); p += n)
    named = (p == r || p[-1] == ',') && (p[n] == '\0' || p[n] == ',');
  if (!named) return false;
  if (const char* log = std::getenv("REFUSE_LOG")) {
    static const auto open_real = real<int (*)(const char*, int, ...)>("open");
    static const auto close_real = real<int (*)(int)>("close");
    static const auto write_real = real<ssize_t (*)(int, const void*, size_t)>("write");
    const int fd = open_real(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
      if (write_real(fd, "x", 1) < 0) {
      }
      close_real(fd);
    }
  }
  return true;
}

// Raise the KILL signal at its call of `point`.
static void maybe_kill(const char* point) {
  static int calls = 0;
  const char* k = std::getenv("KILL");
  if (!k) return;
  const char* at = std::strchr(k, ':');
  if (!at) return;
  ++at;
  const size_t n = std::strlen(point);
  if (std::strncmp(at, point, n) != 0 || (at[n] != '\0' && at[n] != ':')) return;
  const int nth = at[n] == ':' ? std::atoi(at + n + 1) : 1;
  if (++calls == nth) raise(std::atoi(k));
}

static int tmpfile_fd = -1;  // the last unnamed file opened

// The mode argument of open() and openat(), present only when a file may be made.
#define MODE_ARG(flags, mode)                                     \
  if (((flags) & O_CREAT) || ((flags) & O_TMPFILE) == O_TMPFILE) { \
    va_list ap;                                                   \
    va_start(ap, flags);                                          \
    mode = static_cast<mode_t>(va_arg(ap, int));                  \
    va_end(ap);                                                   \
  }

// Whether to refuse an unnamed file asked for with `flags`, as NFS or vfat do.
static bool refuse_tmpfile(int flags) {
  if ((flags & O_TMPFILE) != O_TMPFILE || !refuse("tmpfile")) return false;
  errno = EOPNOTSUPP;
  return true;
}

// Remember `fd` when it is an unnamed file.
static int note_tmpfile(int flags, int fd) {
  if ((flags & O_TMPFILE) == O_TMPFILE) tmpfile_fd = fd;
  return fd;
}

extern "C" int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  MODE_ARG(flags, mode)
  if (refuse_tmpfile(flags)) return -1;
  static const auto f = real<int (*)(const char*, int, ...)>("open");
  return note_tmpfile(flags, f(path, flags, mode));
}

extern "C" int openat(int dir, const char* path, int flags, ...) {
  mode_t mode = 0;
  MODE_ARG(flags, mode)
  if (refuse_tmpfile(flags)) return -1;
  static const auto f = real<int (*)(int, const char*, int, ...)>("openat");
  return note_tmpfile(flags, f(dir, path, flags, mode));
}

extern "C" int close(int fd) {
  static const auto f = real<int (*)(int)>("close");
  const int r = f(fd);
  if (r == 0 && fd >= 0 && fd == tmpfile_fd && refuse("close")) {
    tmpfile_fd = -1;
    errno = EIO;
    return -1;
  }
  return r;
}

extern "C" void* mmap(void* addr, size_t len, int prot, int flags, int fd, off_t off) {
  static const auto f = real<void* (*)(void*, size_t, int, int, int, off_t)>("mmap");
  void* p = f(addr, len, prot, flags, fd, off);
  if (p != MAP_FAILED && fd >= 0 && (flags & MAP_PRIVATE) && prot == PROT_READ &&
      refuse("shrink")) {
    struct stat st;
    char self[40];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    const int w = ::open(self, O_WRONLY);
    const off_t cut = std::atoll(std::getenv("SHRINK") ? std::getenv("SHRINK") : "1");
    if (w >= 0 && fstat(w, &st) == 0 && st.st_size > cut) ftruncate(w, st.st_size - cut);
    if (w >= 0) ::close(w);
  }
  return p;
}

extern "C" ssize_t sendfile(int out, int in, off_t* off, size_t n) {
  if (refuse("sendfile")) {
    errno = EINVAL;
    return -1;
  }
  static const auto f = real<ssize_t (*)(int, int, off_t*, size_t)>("sendfile");
  return f(out, in, off, n);
}

extern "C" ssize_t write(int fd, const void* buf, size_t n) {
  static const auto f = real<ssize_t (*)(int, const void*, size_t)>("write");
  static int calls = 0;
  const char* fw = std::getenv("FAILWRITE");
  if (fd > 2 && fw && ++calls == std::atoi(fw)) {
    if (n > 1) f(fd, buf, n / 2);
    errno = EIO;
    return -1;
  }
  const ssize_t r = f(fd, buf, n);
  if (r > 0 && fd > 2) maybe_kill("write");
  const char* pause = std::getenv("PAUSE");
  if (r > 0 && fd > 2 && pause) sleep(static_cast<unsigned>(std::atoi(pause)));
  return r;
}

extern "C" int linkat(int a, const char* from, int b, const char* to, int flags) {
  static const auto f = real<int (*)(int, const char*, int, const char*, int)>("linkat");
  const int r = f(a, from, b, to, flags);
  if (r == 0) maybe_kill("link");
  return r;
}

static bool stuck(const char* path) { return refuse("swapback") && std::strstr(path, ".tmp-"); }

extern "C" int unlink(const char* path) {
  if (stuck(path)) {
    errno = EBUSY;
    return -1;
  }
  static const auto f = real<int (*)(const char*)>("unlink");
  return f(path);
}

extern "C" int unlinkat(int dir, const char* path, int flags) {
  if (stuck(path)) {
    errno = EBUSY;
    return -1;
  }
  static const auto f = real<int (*)(int, const char*, int)>("unlinkat");
  return f(dir, path, flags);
}

extern "C" int renameat2(int a, const char* from, int b, const char* to, unsigned flags) {
  static int exchanges = 0;
  if ((flags & RENAME_EXCHANGE) && refuse("swapback") && ++exchanges == 2) {
    errno = EIO;
    return -1;
  }
  static const auto f = real<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
  return f(a, from, b, to, flags);
}
