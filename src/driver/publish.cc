// The plan for the output file: what the output path leads to, which links on the way may be
// followed, and so which way of writing it is tried first, once, before translation; then the
// one order in which the ways are tried.
#include <cerrno>
#include <climits>
#include <concepts>
#include <iterator>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/driver.h"
#include "out/out.h"
#include "scan/scan.h"

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

// The one shape of a way (driver.h): a concept, not a base class, as every call site knows the
// type it calls and nothing is chosen at run time but the entry of `ways`.
template <class W>
concept way_of_writing = std::default_initializable<W> &&
                         requires(W w, const out_plan& p, const out_bytes& made) {
                           { w.begin(p) } -> std::same_as<wrote>;
                           { w.write(p, made) } -> std::same_as<wrote>;
                         };
static_assert(way_of_writing<staged_file>, "the staged way has the shape of the others");

// A way begun and written, start to end; what it leaves undone goes with it.
template <way_of_writing W>
static wrote by(output& o, const out_bytes& made) {
  W w;
  const wrote r = w.begin(o.plan);
  return r == wrote::ok ? w.write(o.plan, made) : r;
}

// The staged way began before the translation (prepare_output), so that the output drained into
// its file; refused then, it has no file now.
static wrote by_stage(output& o, const out_bytes& made) {
  return o.stage.is_open() ? o.stage.write(o.plan, made) : wrote::refused;
}

// Every way, in the one order they are tried in: from the one the plan names, each refusal
// passes to the next. A way not of this file's kind refuses at once (in place where no file
// is, created where one is, the device for anything but a device).
struct way_entry {
  way w;
  wrote (*write)(output& o, const out_bytes& made);
};
static constexpr way_entry ways[] = {
    {way::staged, by_stage},
    {way::beside, by<beside_file>},
    {way::in_place, by<inplace_file>},
    {way::created, by<created_file>},
    {way::device, by<device_file>},
};
static_assert(std::size(ways) == static_cast<size_t>(way::none), "one entry for every way");

void prepare_output(output& o, const std::string& out) {
  if (!out.empty()) {
    o.plan = plan_for(out);
    if (o.plan.how == way::staged && o.stage.begin(o.plan) == wrote::ok) return;
  }
  // Output is rarely much longer than input; until it is written, reserving costs no memory.
  out_thing.reserve(file_lines.size() + file_lines.size() / 2 + 256);
}

bool write_output(output& o, out_bytes& made) {
  made.text = out_thing.view();
  if (o.stage.is_open() && !o.stage.finish(made)) return false;
  bool reached = false;
  for (const way_entry& e : ways) {
    reached = reached || e.w == o.plan.how;
    if (!reached) continue;
    const wrote r = e.write(o, made);
    if (r != wrote::refused) return r == wrote::ok;
  }
  return false;  // refused by every way, or none may be tried (way::none)
}
