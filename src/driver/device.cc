// The device way: a character device at the output path (/dev/null) is written as it is; there
// is nothing to keep.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/driver.h"

wrote device_file::begin(const out_plan& p) {
  if (!p.exists || !S_ISCHR(p.old.st_mode)) return wrote::refused;
  // O_NONBLOCK: should a FIFO have taken the name since, the open fails instead of waiting.
  fd = openat(p.dir, p.name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat st;
  const bool same = fd >= 0 && fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) &&
                    st.st_rdev == p.old.st_rdev && fcntl(fd, F_SETFL, 0) == 0;
  return same ? wrote::ok : wrote::refused;
}

device_file::~device_file() {
  if (fd >= 0) close(fd);
}

wrote device_file::write(const out_plan&, const out_bytes& made) {
  bool ok = made.put(fd);
  if (close(fd) != 0) ok = false;
  fd = -1;
  return ok ? wrote::ok : wrote::failed;
}
