// The one place that handles signals: a page of a mapped file that is gone.
#include <csignal>
#include <unistd.h>

#include "driver/driver.h"

// The maps a lost page can fall in: the input while it is translated, and the finished output
// while it is echoed. Two at most at any time.
struct watched {
  const char* at = nullptr;
  size_t len = 0;
  st status = st::ok;
};
static watched maps[2];

static void lost_page(int, siginfo_t* si, void*) {
  const char* at = static_cast<const char*>(si->si_addr);
  st s = st::cant_write;  // a fault outside both cannot be told apart; nothing is written then
  for (const watched& w : maps)
    if (w.at && at >= w.at && at < w.at + w.len) s = w.status;
  bail(s);
  _exit(static_cast<int>(s));
}

void watch_map(const void* p, size_t n, st s) {
  static bool set = false;
  if (!set) {
    struct sigaction sa {};
    sa.sa_sigaction = lost_page;
    sa.sa_flags = SA_SIGINFO;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGBUS, &sa, nullptr);
    set = true;
  }
  for (watched& w : maps) {
    if (w.at) continue;
    w = {static_cast<const char*>(p), n, s};
    return;
  }
}

void unwatch_map(const void* p) {
  for (watched& w : maps)
    if (w.at == p) w = {};
}
