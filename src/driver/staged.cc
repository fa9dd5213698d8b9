// The staged way: an unnamed file in the output's folder that the output is written to, a window
// at a time, while it is being made; once complete it is named beside the output and swapped in.
//
// A buffer for the whole output was fresh memory that the kernel cleared page by page and that
// was copied into the page cache again at the end, half of a large run; a window stays in the
// cache while it fills, and the page cache holds the one whole copy. Nothing can see the file
// until it is given a name, and it vanishes with the process if it never is.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "driver/driver.h"
#include "out/out.h"

// The file is flushed to disk before it is published. Starting the write-back of every 4 MiB as
// it is written lets the disk work while the translation goes on, and leaves the final flush
// little to wait for. On the 100 MiB mix (bench/run.sh) a run took 305 ms this way, 276 ms with
// no flush, 352 ms flushing all of it at the end, 370 ms renaming over the old file instead (the
// flush ext4 starts itself then); steps of 1 or 16 MiB did no better.
constexpr size_t behind = size_t{4} << 20;

// Move the window to the staging file. After a failed write nothing more is written, but the
// translation goes on: a statement error further down still comes first.
void staged_file::spill(std::string_view held) {
  if (!failed && !write_all(fd, held)) failed = true;
  len += held.size();
  if (len - flushed >= behind) {
    sync_file_range(fd, static_cast<off_t>(flushed), static_cast<off_t>(len - flushed),
                    SYNC_FILE_RANGE_WRITE);
    flushed = len;
  }
}

void staged_file::drain(void* to, std::string_view held) {
  static_cast<staged_file*>(to)->spill(held);
}

staged_file::~staged_file() {
  if (out_thing.drain_to == this) {
    out_thing.drain = nullptr;
    out_thing.drain_to = nullptr;
  }
  if (fd >= 0) close(fd);
}

wrote staged_file::begin(const out_plan& p) {
  fd = openat(p.dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  // A file system without unnamed files, or a folder not writable.
  if (fd < 0) return wrote::refused;
  out_thing.drain = drain;
  out_thing.drain_to = this;
  out_thing.reserve(window);
  return wrote::ok;
}

bool staged_file::finish(out_bytes& made) {
  spill(out_thing.view());
  out_thing.clear();
  out_thing.drain = nullptr;
  out_thing.drain_to = nullptr;
  if (failed) return false;
  // A descriptor of its own to read it back by: the one written is closed when the file is
  // named, to hear of a write that failed late.
  made.fd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  made.len = len;
  return made.fd >= 0;
}

wrote staged_file::write(const out_plan& p, const out_bytes&) {
  if (!fit_owner(fd, p)) return wrote::refused;
  if (!settle(fd)) return wrote::failed;
  // Naming an unnamed file takes its /proc entry; linkat() refuses a name already taken.
  char proc[40];
  std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  temp_file tmp;
  const bool named = tmp.make_beside(p, [&](const char* name) {
    return linkat(AT_FDCWD, proc, p.dir, name, AT_SYMLINK_FOLLOW) == 0;
  });
  if (!named) return wrote::refused;
  // A file system may report a failed write only when the file is closed (tmp removes it then).
  const bool closed = close(fd) == 0;
  fd = -1;
  if (!closed) return wrote::failed;
  return put_in_place(tmp, p) ? wrote::ok : wrote::failed;
}
