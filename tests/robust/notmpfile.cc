// Loaded with LD_PRELOAD: open() refuses O_TMPFILE as a file system without unnamed files does,
// so the robust cases can run the way the output is written there.
#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>

extern "C" int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list ap;
    va_start(ap, flags);
    mode = static_cast<mode_t>(va_arg(ap, int));
    va_end(ap);
  }
  if ((flags & O_TMPFILE) == O_TMPFILE) {
    errno = EOPNOTSUPP;
    return -1;
  }
  using open_fn = int (*)(const char*, int, ...);
  static const open_fn real = reinterpret_cast<open_fn>(dlsym(RTLD_NEXT, "open"));
  return real(path, flags, mode);
}
