// Writing the output into the existing file itself, for a name that no new file can take
// without changing what it is.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/driver.h"
#include "out/out.h"

wrote write_in_place(const std::string& out) {
  // No O_TRUNC: a rerun writes over the old file's pages and then cuts off what is left of it.
  // Truncating first frees every block and makes the file system flush the new ones at close,
  // which took longer than the whole translation.
  int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return wrote::failed;
  struct stat st;
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  bool ok = write_all(fd, out_thing.view());
  if (ok && regular && ftruncate(fd, static_cast<off_t>(out_thing.len)) != 0) ok = false;
  if (close(fd) != 0) ok = false;
  if (!ok && regular) {
    // Remove the incomplete file, but only if the name is still that file and not a link to it.
    struct stat ln;
    if (lstat(out.c_str(), &ln) == 0 && S_ISREG(ln.st_mode) && ln.st_dev == st.st_dev &&
        ln.st_ino == st.st_ino)
      unlink(out.c_str());
  }
  return ok ? wrote::ok : wrote::failed;
}
