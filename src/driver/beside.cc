// The beside way: a named file beside the output, written whole and renamed into its place.
#include <fcntl.h>
#include <unistd.h>

#include "driver/driver.h"

// Not written whole: the file goes again (tmp removes it).
beside_file::~beside_file() {
  if (fd >= 0) close(fd);
}

wrote beside_file::begin(const out_plan& p) {
  const bool made = tmp.make_beside(p, [&](const char* name) {
    fd = openat(p.dir, name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    return fd >= 0;
  });
  return made && fit_owner(fd, p) ? wrote::ok : wrote::refused;
}

wrote beside_file::write(const out_plan& p, const out_bytes& made) {
  bool ok = made.put(fd) && settle(fd);
  if (close(fd) != 0) ok = false;
  fd = -1;
  if (!ok) {
    tmp.remove();
    return wrote::failed;
  }
  return put_in_place(tmp, p) ? wrote::ok : wrote::failed;
}
