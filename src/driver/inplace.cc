// The in-place way: the output written into the existing file itself, for a file that no new
// file can stand in for: one shared with other names, another owner's that this process cannot
// give away, or one in a folder with no room or no write access for a new file.
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/driver.h"

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

wrote inplace_file::begin(const out_plan& p) {
  if (!p.exists) return wrote::refused;  // nothing to write into: it is created
  fd = openat(p.dir, p.name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return wrote::refused;
  struct stat st;
  // Another nestasm writing the same file in place waits here until that one is done.
  bool ok = flock(fd, LOCK_EX) == 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            st.st_dev == p.old.st_dev && st.st_ino == p.old.st_ino;
  old_len = ok ? static_cast<size_t>(st.st_size) : 0;
  old.reset(new char[old_len + 1]);
  if (!ok || !read_old(fd, old.get(), old_len)) return wrote::refused;
  times[0] = st.st_atim;
  times[1] = st.st_mtim;
  return wrote::ok;
}

inplace_file::~inplace_file() {
  if (fd >= 0) close(fd);
}

wrote inplace_file::write(const out_plan&, const out_bytes& made) {
  if (!reserve(fd, made.size())) return wrote::failed;
  note_restore(fd, old.get(), old_len, times);
  bool ok = made.put(fd);
  if (ok && made.size() < old_len) ok = ftruncate(fd, static_cast<off_t>(made.size())) == 0;
  // On disk before the run ends: a crash then must not find a mix of old and new blocks.
  ok = ok && settle(fd);
  // A file system that reports write errors only at close (NFS) reports them at the close of
  // any descriptor of the file: a copy's, while this one can still put the old content back.
  const int copy = ok ? dup(fd) : -1;
  if (ok && (copy < 0 || close(copy) != 0)) ok = false;
  // Failed: the old bytes and times back, as a stop would put them back.
  if (!ok) put_back();
  drop_restore();
  return ok ? wrote::ok : wrote::failed;
}
