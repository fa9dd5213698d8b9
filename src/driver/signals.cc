// The one place that handles signals and ends a run early: a page of a mapped file that is gone,
// a signal that stops the run, memory that runs out. Each first undoes what the run left half
// done on disk, with async-signal-safe calls only.
#include <csignal>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
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

// What an early end undoes. Changed only while the signals are held, so a handler never sees
// half of a change.
static int temp_dir = -1;
static char temp[256];  // a name within one folder, at most NAME_MAX bytes
static bool temp_set = false;
static int back_fd = -1;  // a file written in place, and its old content and times
static const char* back = nullptr;
static size_t back_len = 0;
static struct timespec back_times[2];

// The signals that end a process by default and come from outside it, not from a fault of its
// own. SIGPIPE is not among them: it can only come from standard output, which is written after
// the file is complete and nothing is left to undo. SIGXFSZ is ignored instead (see
// guard_signals).
static const int stops[] = {SIGHUP, SIGINT,  SIGQUIT,   SIGTERM, SIGUSR1, SIGUSR2,
                            SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGIO,   SIGPWR};

// Put the old content of the file noted by note_restore back.
static void restore() {
  if (back_fd >= 0) {
    size_t done = 0;
    while (done < back_len) {
      const ssize_t n = pwrite(back_fd, back + done, back_len - done, static_cast<off_t>(done));
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ftruncate(back_fd, static_cast<off_t>(back_len));
    futimens(back_fd, back_times);
    fsync(back_fd);
    back_fd = -1;
  }
}

static void undo() {
  if (temp_set) unlinkat(temp_dir, temp, 0);
  temp_set = false;
  restore();
}

// The run's last word. To standard error itself: main holds statement errors back while it
// translates, and this one is final.
[[noreturn]] static void end(st s) {
  write_all(2, message(s));
  _exit(static_cast<int>(s));
}

static void lost_page(int, siginfo_t* si, void*) {
  const char* at = static_cast<const char*>(si->si_addr);
  st s = st::cant_write;  // a fault outside both cannot be told apart; nothing is written then
  for (const watched& w : maps)
    if (w.at && at >= w.at && at < w.at + w.len) s = w.status;
  undo();
  end(s);
}

// Undo, then end by the same signal, so the caller sees the run stopped as it would have been.
static void stopped(int sig) {
  undo();
  signal(sig, SIG_DFL);
  raise(sig);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, sig);
  sigprocmask(SIG_UNBLOCK, &one, nullptr);
  _exit(128 + sig);  // only if the signal is ignored by now, which it cannot be
}

// operator new calls this when it finds no memory, before it would throw: the run ends here,
// with nothing written and the old file as it was.
static void no_memory() {
  undo();
  end(st::no_memory);
}

// The signals blocked when the run started: the caller held them back, and so does the run.
static sigset_t start_mask;

static sigset_t stop_set() {
  sigset_t s;
  sigemptyset(&s);
  for (int sig : stops) sigaddset(&s, sig);
  return s;
}

void guard_signals() {
  sigprocmask(SIG_BLOCK, nullptr, &start_mask);
  std::set_new_handler(no_memory);
  // Past a file size limit a write then fails with EFBIG, and the run fails as any failed write
  // does, instead of being ended in the middle of it.
  signal(SIGXFSZ, SIG_IGN);
  struct sigaction sa {};
  sa.sa_handler = stopped;
  sa.sa_mask = stop_set();  // one cleanup at a time
  for (int sig : stops) {
    struct sigaction was {};
    sigaction(sig, nullptr, &was);
    // A signal ignored from the start (nohup, a background job) stays ignored.
    if (was.sa_handler != SIG_IGN) sigaction(sig, &sa, nullptr);
  }
}

void hold_signals() {
  const sigset_t s = stop_set();
  sigprocmask(SIG_BLOCK, &s, nullptr);
}

void let_signals() {
  sigset_t s = stop_set();
  for (int sig : stops)
    if (sigismember(&start_mask, sig) == 1) sigdelset(&s, sig);
  sigprocmask(SIG_UNBLOCK, &s, nullptr);
}

// Changes what undo() sees with the signals held, whether or not the caller holds them.
struct held {
  sigset_t was;
  held() {
    const sigset_t s = stop_set();
    sigprocmask(SIG_BLOCK, &s, &was);
  }
  ~held() { sigprocmask(SIG_SETMASK, &was, nullptr); }
};

void note_temp(int dir, const char* name) {
  held h;
  size_t n = 0;
  while (name[n] && n + 1 < sizeof temp) {
    temp[n] = name[n];
    ++n;
  }
  temp[n] = '\0';
  temp_dir = dir;
  temp_set = true;
}

void drop_temp() {
  held h;
  temp_set = false;
}

void note_restore(int fd, const char* old, size_t n, const struct timespec* times) {
  held h;
  back = old;
  back_len = n;
  back_times[0] = times[0];
  back_times[1] = times[1];
  back_fd = fd;
}

void put_back() {
  held h;
  restore();
}

void drop_restore() {
  held h;
  back_fd = -1;
}

void watch_map(const void* p, size_t n, st s) {
  static bool set = false;
  if (!set) {
    struct sigaction sa {};
    sa.sa_sigaction = lost_page;
    sa.sa_flags = SA_SIGINFO;
    sa.sa_mask = stop_set();
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
