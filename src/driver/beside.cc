// Writing the output by a named file beside it, renamed into its place once complete.
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "driver/driver.h"
#include "out/out.h"

wrote write_beside(const out_plan& p) {
  std::string tmp;
  int fd = -1;
  hold_signals();
  for (int k = 0; k < 100 && fd < 0; ++k) {
    tmp = temp_name(p);
    fd = openat(p.dir, tmp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd >= 0) note_temp(p.dir, tmp.c_str());
  let_signals();
  if (fd < 0) return wrote::refused;  // no file can be made beside it
  const bool given = fit_owner(fd, p);
  bool ok = given && write_all(fd, out_thing.view()) && settle(fd);
  if (close(fd) != 0) ok = false;
  if (!ok) {
    hold_signals();
    unlinkat(p.dir, tmp.c_str(), 0);
    drop_temp();
    let_signals();
    return given ? wrote::failed : wrote::refused;
  }
  return put_in_place(tmp, p) ? wrote::ok : wrote::failed;
}
