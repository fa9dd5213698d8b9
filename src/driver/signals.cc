// The one place that handles signals and ends a run early: a page of the mapped input that is
// gone, a signal that stops the run, memory that runs out. Each first undoes what the run left
// half done on disk, with async-signal-safe calls only.
#include <csignal>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/driver.h"

// The map a lost page can fall in: the input, while it is translated.
static const char* map_at = nullptr;
static size_t map_len = 0;

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
  // A fault outside it cannot be told apart; nothing is written then.
  const st s = map_at && at >= map_at && at < map_at + map_len ? st::cant_open : st::cant_write;
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

static sigset_t stop_set() {
  sigset_t s;
  sigemptyset(&s);
  for (int sig : stops) sigaddset(&s, sig);
  return s;
}

void guard_signals() {
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

held_signals::held_signals() {
  const sigset_t s = stop_set();
  sigprocmask(SIG_BLOCK, &s, &was);
}

held_signals::~held_signals() { sigprocmask(SIG_SETMASK, &was, nullptr); }

void note_temp(int dir, const char* name) {
  held_signals h;
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
  held_signals h;
  temp_set = false;
}

void note_restore(int fd, const char* old, size_t n, const struct timespec* times) {
  held_signals h;
  back = old;
  back_len = n;
  back_times[0] = times[0];
  back_times[1] = times[1];
  back_fd = fd;
}

void put_back() {
  held_signals h;
  restore();
}

void drop_restore() {
  held_signals h;
  back_fd = -1;
}

void watch_map(const void* p, size_t n) {
  static bool set = false;
  if (!set) {
    struct sigaction sa {};
    sa.sa_sigaction = lost_page;
    sa.sa_flags = SA_SIGINFO;
    sa.sa_mask = stop_set();
    sigaction(SIGBUS, &sa, nullptr);
    set = true;
  }
  map_at = static_cast<const char*>(p);
  map_len = n;
}
