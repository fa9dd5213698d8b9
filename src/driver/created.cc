// The created way: no file at the output path yet, and no new file could be named beside it, so
// it is made there at once, exclusively, and removed again if it cannot be written whole.
#include <fcntl.h>
#include <unistd.h>

#include "driver/driver.h"

created_file::created_file(const out_plan& p) : p(p) {
  held_signals h;
  fd = openat(p.dir, p.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) note_temp(p.dir, p.name.c_str());
}

// Never written: the file goes again.
created_file::~created_file() {
  if (fd < 0) return;
  close(fd);
  held_signals h;
  unlinkat(p.dir, p.name.c_str(), 0);
  drop_temp();
}

wrote created_file::write(const out_bytes& made) {
  if (fd < 0) return wrote::failed;
  bool ok = made.put(fd) && settle(fd);
  if (close(fd) != 0) ok = false;
  fd = -1;
  held_signals h;
  if (!ok) unlinkat(p.dir, p.name.c_str(), 0);
  drop_temp();
  return ok ? wrote::ok : wrote::failed;
}
