// Writing the output into the existing file itself, for a file that no new file can stand in
// for: one shared with other names, another owner's that this process cannot give away, one in a
// folder with no room or no write access for a new file, or a device.
//
// Nothing else keeps the old content here, so this does: it is read into memory first, the
// whole new size is reserved before a byte changes, and a write that fails or a run that is
// stopped puts the old bytes and times back. A lock keeps two runs from writing it at once.
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/driver.h"
#include "out/out.h"

// No file there yet, and no new file could be named beside it: create it, and remove it again if
// it cannot be written whole.
static wrote create(const out_plan& p) {
  hold_signals();
  const int fd = openat(p.dir, p.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) note_temp(p.dir, p.name.c_str());
  let_signals();
  if (fd < 0) return wrote::failed;
  bool ok = write_all(fd, out_thing.view()) && settle(fd);
  if (close(fd) != 0) ok = false;
  hold_signals();
  if (!ok) unlinkat(p.dir, p.name.c_str(), 0);
  drop_temp();
  let_signals();
  return ok ? wrote::ok : wrote::failed;
}

// A character device (/dev/null): written as it is, there is nothing to keep.
static wrote device(const out_plan& p) {
  // O_NONBLOCK: should a FIFO have taken the name since, the open fails instead of waiting.
  const int fd = openat(p.dir, p.name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return wrote::failed;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == p.old.st_rdev &&
            fcntl(fd, F_SETFL, 0) == 0 && write_all(fd, out_thing.view());
  if (close(fd) != 0) ok = false;
  return ok ? wrote::ok : wrote::failed;
}

// Read all `n` bytes of `fd` into `to`.
static bool read_old(int fd, char* to, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t got = pread(fd, to + done, n - done, static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

// Room for `n` bytes, taken before anything is written, so that a full disk or a file size limit
// fails the run with the old file untouched. A file system that cannot reserve is written anyway;
// the old content is put back should that fail.
static bool reserve(int fd, size_t n) {
  struct rlimit lim;
  if (getrlimit(RLIMIT_FSIZE, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY && n > lim.rlim_cur)
    return false;
  if (n == 0 || fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(n)) == 0) return true;
  return errno == EOPNOTSUPP || errno == ENOSYS;
}

static wrote regular(const out_plan& p) {
  const int fd = openat(p.dir, p.name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return wrote::failed;
  struct stat st;
  // Another nestasm writing the same file in place waits here until that one is done.
  bool ok = flock(fd, LOCK_EX) == 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            st.st_dev == p.old.st_dev && st.st_ino == p.old.st_ino;
  const size_t old_len = ok ? static_cast<size_t>(st.st_size) : 0;
  std::unique_ptr<char[]> old(new char[old_len + 1]);
  ok = ok && read_old(fd, old.get(), old_len) && reserve(fd, out_thing.len);
  if (!ok) {
    close(fd);
    return wrote::failed;
  }
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  note_restore(fd, old.get(), old_len, times);
  ok = write_all(fd, out_thing.view());
  if (ok && out_thing.len < old_len) ok = ftruncate(fd, static_cast<off_t>(out_thing.len)) == 0;
  // On disk before the run ends: a crash then must not find a mix of old and new blocks.
  ok = ok && settle(fd);
  // A file system that reports write errors only at close (NFS) reports them at the close of
  // any descriptor of the file: a copy's, while this one can still put the old content back.
  const int copy = ok ? dup(fd) : -1;
  if (ok && (copy < 0 || close(copy) != 0)) ok = false;
  // Failed: the old bytes and times back, as a stop would put them back.
  if (!ok) put_back();
  drop_restore();
  close(fd);
  return ok ? wrote::ok : wrote::failed;
}

wrote write_in_place(const out_plan& p) {
  if (!p.exists) return create(p);
  if (S_ISCHR(p.old.st_mode)) return device(p);
  return regular(p);
}
