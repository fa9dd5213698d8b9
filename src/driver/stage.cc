// The staging file: an unnamed file in the output's folder that the output is written to, a
// window at a time, while it is being made.
//
// A buffer for the whole output was fresh memory that the kernel cleared page by page and that
// was copied into the page cache again at the end, half of a large run; a window stays in the
// cache while it fills, and the page cache holds the one whole copy. Nothing can see the file
// until it is given a name, and it vanishes with the process if it never is.
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "driver/driver.h"
#include "out/out.h"

int stage_fd = -1;                 // the staging file, or -1 while the output is on the heap
static size_t staged = 0;          // bytes of the output in the staging file
static bool stage_failed = false;  // a write to it failed: the output cannot be written

// 256 KiB: small enough to stay in the cache, large enough that writes are few.
constexpr size_t window = size_t{1} << 18;

static size_t flushed = 0;  // bytes of it whose write-back to disk has been started

// The file is flushed to disk before it is published. Starting the write-back of every 4 MiB as
// it is written lets the disk work while the translation goes on, and leaves the final flush
// little to wait for. On the 100 MiB mix (bench/run.sh) a run took 305 ms this way, 276 ms with
// no flush, 352 ms flushing all of it at the end, 370 ms renaming over the old file instead (the
// flush ext4 starts itself then); steps of 1 or 16 MiB did no better.
constexpr size_t behind = size_t{4} << 20;

// Move the window to the staging file. After a failed write nothing more is written, but the
// translation goes on: a statement error further down still comes first.
static void spill(std::string_view held) {
  if (!stage_failed && !write_all(stage_fd, held)) stage_failed = true;
  staged += held.size();
  if (staged - flushed >= behind) {
    sync_file_range(stage_fd, static_cast<off_t>(flushed), static_cast<off_t>(staged - flushed),
                    SYNC_FILE_RANGE_WRITE);
    flushed = staged;
  }
}

bool stage_open(int dir) {
  const int fd = openat(dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) return false;  // a file system without unnamed files, or a folder not writable
  stage_fd = fd;
  out_thing.drain = spill;
  out_thing.reserve(window);
  return true;
}

static void unmap(char* p, size_t n) {
  unwatch_map(p);
  munmap(p, n);
}

bool stage_finish() {
  spill(out_thing.view());
  out_thing.clear();
  out_thing.drain = nullptr;
  if (stage_failed) return false;
  if (staged == 0) return true;
  void* p = mmap(nullptr, staged, PROT_READ, MAP_SHARED, stage_fd, 0);
  if (p != MAP_FAILED) {
    // Should a page of it fail while it is echoed, the output cannot be written.
    watch_map(p, staged, st::cant_write);
    out_thing.adopt(static_cast<char*>(p), staged, unmap);
    return true;
  }
  // Read it back instead, in as many reads as it takes.
  out_thing.reserve(staged);
  while (out_thing.len < staged) {
    const ssize_t n = pread(stage_fd, out_thing.buf + out_thing.len, staged - out_thing.len,
                            static_cast<off_t>(out_thing.len));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    out_thing.len += static_cast<size_t>(n);
  }
  return true;
}
