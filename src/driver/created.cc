// The created way: no file at the output path yet, and no new file could be named beside it, so
// it is made there at once, exclusively, and removed again if it cannot be written whole.
#include <fcntl.h>
#include <unistd.h>

#include "driver/driver.h"

// Not written whole: the file goes again (made_here removes it).
created_file::~created_file() {
  if (fd >= 0) close(fd);
}

wrote created_file::begin(const out_plan& p) {
  if (p.exists) return wrote::refused;  // a file is there: it is written in place
  const bool made = made_here.make(p.dir, p.name, [&](const char* name) {
    fd = openat(p.dir, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return fd >= 0;
  });
  return made ? wrote::ok : wrote::refused;
}

wrote created_file::write(const out_plan&, const out_bytes& made) {
  bool ok = made.put(fd) && settle(fd);
  if (close(fd) != 0) ok = false;
  fd = -1;
  if (!ok) {
    made_here.remove();
    return wrote::failed;
  }
  made_here.keep();
  return wrote::ok;
}
