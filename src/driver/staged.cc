// Writing the output by the staged way: the finished unnamed file is named beside the output
// and swapped into its place.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/driver.h"


wrote write_staged(const out_plan& p) {
  if (fchmod(stage_fd, mode_for(p)) != 0) return wrote::refused;
  // Naming an unnamed file takes its /proc entry; linkat() refuses a name already taken.
  char proc[40];
  std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", stage_fd);
  const std::string stem = p.target + ".tmp-" + std::to_string(getpid()) + "-";
  std::string tmp;
  for (int k = 0;; ++k) {
    tmp = stem + std::to_string(k);
    if (linkat(AT_FDCWD, proc, AT_FDCWD, tmp.c_str(), AT_SYMLINK_FOLLOW) == 0) break;
    if (errno != EEXIST || k == 99) return wrote::refused;
  }
  return put_in_place(tmp, p) ? wrote::ok : wrote::failed;
}
