// Loaded with LD_PRELOAD to make a call fail as some file systems make it fail, so the robust
// cases can run the way the output is written there. REFUSE=tmpfile: open() refuses O_TMPFILE,
// as NFS or vfat do. REFUSE=sharedmap: mmap() refuses shared maps of files.
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

using open_fn = int (*)(const char*, int, ...);

// Each refusal adds a byte to the file REFUSE_LOG names, so that a run can show that the shim was
// in front of the binary at all (a static binary, say, would never see it).
static bool refuse(const char* what) {
  const char* r = std::getenv("REFUSE");
  if (!r || std::strcmp(r, what) != 0) return false;
  if (const char* log = std::getenv("REFUSE_LOG")) {
    static const open_fn real = reinterpret_cast<open_fn>(dlsym(RTLD_NEXT, "open"));
    const int fd = real(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
      if (write(fd, "x", 1) < 0) {
      }
      close(fd);
    }
  }
  return true;
}

extern "C" int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list ap;
    va_start(ap, flags);
    mode = static_cast<mode_t>(va_arg(ap, int));
    va_end(ap);
  }
  if ((flags & O_TMPFILE) == O_TMPFILE && refuse("tmpfile")) {
    errno = EOPNOTSUPP;
    return -1;
  }
  static const open_fn real = reinterpret_cast<open_fn>(dlsym(RTLD_NEXT, "open"));
  return real(path, flags, mode);
}

extern "C" void* mmap(void* addr, size_t len, int prot, int flags, int fd, off_t off) {
  if (fd >= 0 && (flags & MAP_SHARED) && refuse("sharedmap")) {
    errno = ENODEV;
    return MAP_FAILED;
  }
  using mmap_fn = void* (*)(void*, size_t, int, int, int, off_t);
  static const mmap_fn real = reinterpret_cast<mmap_fn>(dlsym(RTLD_NEXT, "mmap"));
  return real(addr, len, prot, flags, fd, off);
}
