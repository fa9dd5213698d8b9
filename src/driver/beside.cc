// Writing the output by a named file beside it, renamed into its place once complete.
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/driver.h"
#include "out/out.h"

wrote write_beside(const out_plan& p) {
  std::string tmp = p.target + ".tmp-XXXXXX";
  int fd = mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) return wrote::refused;  // no file can be made beside it
  bool ok = fchmod(fd, mode_for(p)) == 0 && write_all(fd, out_thing.view());
  if (close(fd) != 0) ok = false;
  if (!ok) {
    unlink(tmp.c_str());
    return wrote::failed;
  }
  return put_in_place(tmp, p) ? wrote::ok : wrote::failed;
}
