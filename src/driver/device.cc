// The device way: a character device at the output path (/dev/null) is written as it is; there
// is nothing to keep.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/driver.h"

device_file::device_file(const out_plan& p) {
  // O_NONBLOCK: should a FIFO have taken the name since, the open fails instead of waiting.
  fd = openat(p.dir, p.name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat st;
  if (fd >= 0 && !(fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == p.old.st_rdev &&
                   fcntl(fd, F_SETFL, 0) == 0)) {
    close(fd);
    fd = -1;
  }
}

device_file::~device_file() {
  if (fd >= 0) close(fd);
}

wrote device_file::write(const out_bytes& made) {
  if (fd < 0) return wrote::failed;
  bool ok = made.put(fd);
  if (close(fd) != 0) ok = false;
  fd = -1;
  return ok ? wrote::ok : wrote::failed;
}
