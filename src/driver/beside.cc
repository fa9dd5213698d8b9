// The beside way: a named file beside the output, written whole and renamed into its place.
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "driver/driver.h"

beside_file::beside_file(const out_plan& p) : p(p) {
  held_signals h;
  for (int k = 0; k < 100 && fd < 0; ++k) {
    tmp = temp_name(p);
    fd = openat(p.dir, tmp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd >= 0) note_temp(p.dir, tmp.c_str());
}

// Never written: the file goes again.
beside_file::~beside_file() {
  if (fd < 0) return;
  close(fd);
  held_signals h;
  unlinkat(p.dir, tmp.c_str(), 0);
  drop_temp();
}

wrote beside_file::write(const out_bytes& made) {
  if (fd < 0) return wrote::refused;  // no file can be made beside it
  const bool given = fit_owner(fd, p);
  bool ok = given && made.put(fd) && settle(fd);
  if (close(fd) != 0) ok = false;
  fd = -1;
  if (!ok) {
    held_signals h;
    unlinkat(p.dir, tmp.c_str(), 0);
    drop_temp();
    return given ? wrote::failed : wrote::refused;
  }
  return put_in_place(tmp, p) ? wrote::ok : wrote::failed;
}
