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

static bool refuse(const char* what) {
  const char* r = std::getenv("REFUSE");
  return r && std::strcmp(r, what) == 0;
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
  using open_fn = int (*)(const char*, int, ...);
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
