// Writing the output by the staged way: the finished unnamed file is named beside the output
// and swapped into its place.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "driver/driver.h"

wrote write_staged(const out_plan& p) {
  if (!fit_owner(stage_fd, p)) return wrote::refused;
  if (!settle(stage_fd)) return wrote::failed;
  // Naming an unnamed file takes its /proc entry; linkat() refuses a name already taken.
  char proc[40];
  std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", stage_fd);
  std::string tmp;
  hold_signals();
  bool named = false;
  for (int k = 0; k < 100 && !named; ++k) {
    tmp = temp_name(p);
    named = linkat(AT_FDCWD, proc, p.dir, tmp.c_str(), AT_SYMLINK_FOLLOW) == 0;
    if (!named && errno != EEXIST) break;
  }
  if (named) note_temp(p.dir, tmp.c_str());
  let_signals();
  if (!named) return wrote::refused;
  // A file system may report a failed write only when the file is closed.
  const bool closed = close(stage_fd) == 0;
  stage_fd = -1;
  if (!closed) {
    hold_signals();
    unlinkat(p.dir, tmp.c_str(), 0);
    drop_temp();
    let_signals();
    return wrote::failed;
  }
  return put_in_place(tmp, p) ? wrote::ok : wrote::failed;
}
