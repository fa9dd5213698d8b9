// Publishing the output: the way of writing the file is chosen once, before translation; the
// file is written first and complete, then echoed to standard output.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/driver.h"
#include "out/out.h"
#include "scan/scan.h"

static bool stdout_closed = false;
static bool to_file = false;
static out_plan plan;

void guard_fds() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == 1) stdout_closed = true;
    // open() returns the lowest free descriptor, which is `fd` itself here.
    int got = open("/dev/null", O_RDWR);
    if (got != fd && got >= 0) close(got);
  }
}

// Whether the symbolic link `ln` in the folder `dir` may be followed. In a sticky folder that
// anyone can write (/tmp), a link planted by someone else could send the output over any file
// the caller may write; the kernel's fs.protected_symlinks refuses those links, and so does
// this, whatever the machine's setting: only a link of the caller's or of the folder's owner.
static bool may_follow(int dir, const struct stat& ln) {
  struct stat d;
  if (fstat(dir, &d) != 0) return false;
  const bool shared = (d.st_mode & S_ISVTX) && (d.st_mode & S_IWOTH);
  return !shared || ln.st_uid == geteuid() || ln.st_uid == d.st_uid;
}

// The folder `path` opened from `at` by O_PATH, one part at a time, so that a link on the way is
// followed only where may_follow allows it, as the last part of the output path is. `hops`
// counts the links followed, 40 at most as the kernel follows.
static int walk(int at, const std::string& path, int& hops) {
  int cur = openat(at, path.starts_with('/') ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  size_t i = 0;
  while (cur >= 0 && i < path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    const std::string part = path.substr(i, j - i);
    i = j + 1;
    if (part.empty() || part == ".") continue;
    struct stat ln;
    int next = -1;
    if (fstatat(cur, part.c_str(), &ln, AT_SYMLINK_NOFOLLOW) == 0) {
      if (!S_ISLNK(ln.st_mode)) {
        // O_NOFOLLOW: a link put there since is not followed unchecked.
        next = openat(cur, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      } else if (++hops <= 40 && may_follow(cur, ln)) {
        char to[PATH_MAX];
        const ssize_t n = readlinkat(cur, part.c_str(), to, sizeof to);
        if (n > 0 && static_cast<size_t>(n) < sizeof to)
          next = walk(cur, std::string(to, static_cast<size_t>(n)), hops);
      }
    }
    close(cur);
    cur = next;
  }
  return cur;
}

// The folder part of `path` opened from `at`, and the last part in `name`. A folder that can be
// searched but not read is held by O_PATH; it cannot be flushed then, which changes nothing else.
static int open_folder(int at, const std::string& path, std::string& name) {
  const size_t slash = path.rfind('/');
  std::string dir = ".";
  if (slash != std::string::npos) dir = slash == 0 ? "/" : path.substr(0, slash);
  name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) name.push_back('.');  // a path ending in "/" names a folder: refused
  int hops = 0;
  const int way = walk(at, dir, hops);
  if (way < 0) return -1;
  int fd = openat(way, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return way;
  close(way);
  return fd;
}

// What writing `out` replaces, and so how it can be written. A symbolic link is followed one
// link at a time, each read where it lies, so that the file replaced is the one the link names
// when it is looked at and not whatever a name leads to later. A new file takes the place of a
// missing one (a dangling link's target included) or of a regular file with no other name;
// a file shared with other names, or a device, is written into.
static out_plan plan_for(const std::string& out) {
  out_plan p;
  p.path = out;
  p.how = way::none;
  p.dir = open_folder(AT_FDCWD, out, p.name);
  // 40 links at most, as the kernel follows.
  for (int hops = 0; p.dir >= 0 && hops <= 40; ++hops) {
    if (fstatat(p.dir, p.name.c_str(), &p.old, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) return p;
      p.how = way::staged;  // nothing there yet: a new file
      return p;
    }
    if (!S_ISLNK(p.old.st_mode)) break;
    if (!may_follow(p.dir, p.old)) return p;
    char to[PATH_MAX];
    const ssize_t n = readlinkat(p.dir, p.name.c_str(), to, sizeof to);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof to) return p;
    const int next = open_folder(p.dir, std::string(to, static_cast<size_t>(n)), p.name);
    close(p.dir);
    p.dir = next;
  }
  if (p.dir < 0 || S_ISLNK(p.old.st_mode)) return p;
  p.exists = true;
  if (S_ISCHR(p.old.st_mode)) p.how = way::in_place;
  if (!S_ISREG(p.old.st_mode)) return p;  // a FIFO, socket, folder or block device: refused
  // Another owner's file needs a process that may give a new file away; without that, only
  // writing into it keeps its owner.
  const bool others = p.old.st_uid != geteuid() && geteuid() != 0;
  p.how = p.old.st_nlink == 1 && !others ? way::staged : way::in_place;
  return p;
}

bool writes_over(const std::string& out, dev_t dev, ino_t ino) {
  const out_plan p = plan_for(out);
  if (p.dir >= 0) close(p.dir);
  return p.exists && p.old.st_dev == dev && p.old.st_ino == ino;
}

void prepare_output(const std::string& out) {
  to_file = !out.empty();
  if (to_file) {
    plan = plan_for(out);
    if (plan.how == way::staged && stage_open(plan.dir)) return;
    if (plan.how == way::staged) plan.how = way::beside;
  }
  // Output is rarely much longer than input; until it is written, reserving costs no memory.
  out_thing.reserve(file_lines.size() + file_lines.size() / 2 + 256);
}

std::string temp_name(const out_plan& p) {
  static unsigned long long seq = 0;  // names made by this run
  long most = fpathconf(p.dir, _PC_NAME_MAX);
  // No longer than NAME_MAX either: the name is kept whole for an early end to remove.
  if (most <= 0 || most > NAME_MAX) most = NAME_MAX;
  std::string n = p.name;
  constexpr size_t added = 1 + 5 + 6;  // ".", ".tmp-", six letters
  // Cut to fit. A name too long for its own folder is refused later whatever is done here.
  const size_t room = static_cast<size_t>(most) > added ? static_cast<size_t>(most) - added : 0;
  if (n.size() > room) n.resize(room);
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  using u64 = unsigned long long;
  u64 v = (static_cast<u64>(now.tv_nsec) << 20) ^ static_cast<u64>(getpid()) ^
          (++seq * 0x9e3779b97f4a7c15ULL);
  static const char letters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string t = "." + n + ".tmp-";
  for (int i = 0; i < 6; ++i, v /= 62) t += letters[v % 62];
  return t;
}

bool fit_owner(int fd, const out_plan& p) {
  if (!p.exists) {
    const mode_t mask = umask(0);
    umask(mask);
    return fchmod(fd, 0666 & ~mask) == 0;
  }
  struct stat now;
  if (fstat(fd, &now) != 0) return false;
  if ((now.st_uid != p.old.st_uid || now.st_gid != p.old.st_gid) &&
      fchown(fd, p.old.st_uid, p.old.st_gid) != 0) {
    // The caller's own file in a group the caller is no longer in: the new file takes the
    // caller's group, as rewriting the file by any editor would give it. Another owner's file
    // is written in place instead.
    if (p.old.st_uid != geteuid()) return false;
  }
  // After the owner: changing it clears the set-user-ID and set-group-ID bits.
  return fchmod(fd, p.old.st_mode & 07777) == 0;
}

bool settle(int fd) {
  // A crash after the run must find the old output or the complete new one. Without this, ext4
  // can write the swap of the names to its journal before the new file's blocks are on disk, and
  // the output comes back empty.
  return fdatasync(fd) == 0;
}

// What swapping the two names came to.
enum class swap { done, unsupported, broken };

// Put the complete file `tmp` in the place of the existing file `name`, and remove the old one
// that then has the name `tmp`. ext4 renaming over an existing file starts writing the new file
// back to disk before it returns, which cost more than writing the file; a swap does not.
static swap swap_in(const out_plan& p, const char* tmp) {
  const char* name = p.name.c_str();
  if (renameat2(p.dir, tmp, p.dir, name, RENAME_EXCHANGE) != 0) return swap::unsupported;
  if (unlinkat(p.dir, tmp, 0) == 0) return swap::done;
  // The old file cannot be removed: give it its name back and let rename() try.
  if (renameat2(p.dir, tmp, p.dir, name, RENAME_EXCHANGE) == 0) return swap::unsupported;
  // The new file has the name, the old one the temporary name, and neither can be helped.
  return swap::broken;
}

bool put_in_place(const std::string& tmp, const out_plan& p) {
  hold_signals();
  bool ok = false;
  swap s = p.exists ? swap_in(p, tmp.c_str()) : swap::unsupported;
  if (s == swap::done) ok = true;
  else if (s == swap::unsupported) ok = renameat(p.dir, tmp.c_str(), p.dir, p.name.c_str()) == 0;
  if (!ok && s != swap::broken) unlinkat(p.dir, tmp.c_str(), 0);
  drop_temp();
  let_signals();
  // The folder is not flushed: its new name reaches the journal with the next commit, and a
  // crash before that finds the old file, which is all that is promised. Flushing it too cost a
  // tenth more on each small file (1,000 examples: 0.77 s against 0.86 s).
  return ok;
}

bool write_output() {
  wrote r = wrote::refused;
  switch (plan.how) {
    case way::none:
      return false;
    case way::staged:
      if (!stage_finish()) return false;
      r = write_staged(plan);
      if (r != wrote::refused) break;
      [[fallthrough]];
    case way::beside:
      r = write_beside(plan);
      if (r != wrote::refused) break;
      [[fallthrough]];
    case way::in_place:
      r = write_in_place(plan);
      break;
  }
  return r == wrote::ok;
}

bool echo_output() {
  if (out_thing.empty()) return true;
  if (stdout_closed) return false;
  return write_all(1, out_thing.view());
}
