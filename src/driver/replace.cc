// What the ways that put a new file in the old one's place share: a temporary name beside it,
// the old file's owner and mode, flushing to disk, and the swap of the two names.
#include <cerrno>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/driver.h"

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

bool put_in_place(temp_file& tmp, const out_plan& p) {
  bool ok = false;
  {
    held_signals h;
    const char* t = tmp.name().c_str();
    swap s = p.exists ? swap_in(p, t) : swap::unsupported;
    if (s == swap::done) ok = true;
    else if (s == swap::unsupported) ok = renameat(p.dir, t, p.dir, p.name.c_str()) == 0;
    // Broken, the old file keeps the temporary name: better kept than lost.
    if (ok || s == swap::broken) tmp.keep();
    else tmp.remove();
  }
  // The folder is not flushed: its new name reaches the journal with the next commit, and a
  // crash before that finds the old file, which is all that is promised. Flushing it too cost a
  // tenth more on each small file (1,000 examples: 0.77 s against 0.86 s).
  return ok;
}
