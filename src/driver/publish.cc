// The plan for the output file: what the output path leads to, which links on the way may be
// followed, and so which way of writing it is tried first, once, before translation; then the
// order in which the ways are tried when one is refused.
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/driver.h"
#include "out/out.h"
#include "scan/scan.h"

static out_plan plan;
static staged_file stage;

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
  if (S_ISCHR(p.old.st_mode)) p.how = way::device;
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
  if (!out.empty()) {
    plan = plan_for(out);
    if (plan.how == way::staged && stage.open(plan.dir)) return;
    if (plan.how == way::staged) plan.how = way::beside;
  }
  // Output is rarely much longer than input; until it is written, reserving costs no memory.
  out_thing.reserve(file_lines.size() + file_lines.size() / 2 + 256);
}

bool write_output(out_bytes& made) {
  if (stage.is_open() && !stage.finish(made)) return false;
  // Each way tried in turn from the one chosen: a refused way changed nothing.
  wrote r = wrote::refused;
  switch (plan.how) {
    case way::none:
      return false;
    case way::device:
      return device_file(plan).write(made) == wrote::ok;
    case way::staged:
      r = stage.publish(plan);
      if (r != wrote::refused) break;
      [[fallthrough]];
    case way::beside:
      r = beside_file(plan).write(made);
      if (r != wrote::refused) break;
      [[fallthrough]];
    case way::in_place:
      r = plan.exists ? inplace_file(plan).write(made) : created_file(plan).write(made);
      break;
  }
  return r == wrote::ok;
}
