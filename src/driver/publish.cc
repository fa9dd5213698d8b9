// Publishing the output: the way of writing the file is chosen once, before translation; the
// file is written first and complete, then echoed to standard output.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

// What writing `out` replaces, and so how it can be written. A new file can take the place of
// a missing one, or of a regular file of this user's with no other name; anything else (a link
// shared with other names, a file of another owner, a device, a dangling link) has to be written
// into.
static out_plan plan_for(const std::string& out) {
  out_plan p;
  p.path = p.target = out;
  p.exists = lstat(out.c_str(), &p.old) == 0;
  if (p.exists && S_ISLNK(p.old.st_mode)) {
    // A symbolic link keeps pointing where it did: the file it names is the one replaced.
    char* real = realpath(out.c_str(), nullptr);
    p.exists = real && lstat(real, &p.old) == 0;
    if (real) p.target = real;
    free(real);
    if (!p.exists) {  // a dangling link: create the file it names
      p.how = way::in_place;
      return p;
    }
  }
  const bool replaceable = !p.exists || (S_ISREG(p.old.st_mode) && p.old.st_nlink == 1 &&
                                         p.old.st_uid == geteuid());
  p.how = replaceable ? way::staged : way::in_place;
  return p;
}

void prepare_output(const std::string& out) {
  to_file = !out.empty();
  if (to_file) {
    plan = plan_for(out);
    if (plan.how == way::staged && stage_open(plan.target)) return;
    if (plan.how == way::staged) plan.how = way::beside;
  }
  // Output is rarely much longer than input; until it is written, reserving costs no memory.
  out_thing.reserve(file_lines.size() + file_lines.size() / 2 + 256);
}

mode_t mode_for(const out_plan& p) {
  if (p.exists) return p.old.st_mode & 07777;
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// Put the complete file `tmp` in the place of the existing file `path`, and remove the old one
// that then has the name `tmp`. False when the file system cannot swap two names; rename() is
// left to do it then. ext4 renaming over an existing file starts writing the new file back to
// disk before it returns, which cost more than writing the file; a swap does not.
static bool swap_in(const std::string& tmp, const std::string& path) {
  const char* a = tmp.c_str();
  const char* b = path.c_str();
  if (renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE) != 0) return false;
  if (unlink(a) == 0) return true;
  // Something other than a file took the name since it was looked at: give it its name back.
  renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE);
  return false;
}

bool put_in_place(const std::string& tmp, const out_plan& p) {
  if (p.exists && swap_in(tmp, p.target)) return true;
  if (rename(tmp.c_str(), p.target.c_str()) == 0) return true;
  unlink(tmp.c_str());
  return false;
}

bool write_output() {
  wrote r = wrote::refused;
  switch (plan.how) {
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
      r = write_in_place(plan.path);
      break;
  }
  return r == wrote::ok;
}

bool echo_output() {
  if (out_thing.empty()) return true;
  if (stdout_closed) return false;
  return write_all(1, out_thing.view());
}
