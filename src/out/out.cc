// The output buffer: grown by doubling on the heap, or drained a window at a time while the
// output is staged in a file.
#include "out/out.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sys/mman.h>

outbuf out_thing;

// A new buffer of `n` bytes for `b`, holding what the old one held.
static void new_buffer(outbuf& b, size_t n) {
  // Not value-initialised: a page is touched first when the output reaches it.
  char* more = new char[n];
  if (b.len > 0) std::memcpy(more, b.buf, b.len);
  delete[] b.buf;
  b.buf = more;
  b.cap = n;
  // Huge pages under a large output: one page fault per 2 MiB written instead of one per 4 KiB.
  constexpr uintptr_t huge = uintptr_t{1} << 21;
  const uintptr_t at = reinterpret_cast<uintptr_t>(more);
  const uintptr_t lo = (at + huge - 1) & ~(huge - 1);
  const uintptr_t hi = (at + n) & ~(huge - 1);
  if (lo < hi) madvise(reinterpret_cast<void*>(lo), hi - lo, MADV_HUGEPAGE);
}

void outbuf::make_room(size_t n) {
  if (drain) {
    drain(drain_to, view());
    len = 0;
    // One piece longer than the window gets a window of its own size.
    if (n > cap) new_buffer(*this, n);
    return;
  }
  // Doubling keeps the copies of a growing output linear in its size.
  new_buffer(*this, std::max(len + n, cap * 2));
}

void outbuf::reserve(size_t n) {
  if (n > cap) make_room(n - len);
}
