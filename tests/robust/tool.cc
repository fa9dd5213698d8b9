// Small system calls the robust cases need and the shell lacks:
//   robust_tool nonblock CMD [ARG...]   run CMD with standard output non-blocking
//   robust_tool shutdown DIR            stop the file system at DIR as a crash would: its journal
//                                       is written out, file data still in memory is not
//   robust_tool socket PATH             leave a Unix socket at PATH
//   robust_tool blocked SIG CMD [ARG...] run CMD with SIG blocked and one SIG waiting
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#ifndef FS_IOC_SHUTDOWN
#define FS_IOC_SHUTDOWN _IOR('X', 125, __u32)
#endif
#ifndef FS_GOING_FLAGS_LOGFLUSH
#define FS_GOING_FLAGS_LOGFLUSH 0x1
#endif

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "nonblock") == 0) {
    const int fl = fcntl(1, F_GETFL);
    if (fl < 0 || fcntl(1, F_SETFL, fl | O_NONBLOCK) != 0) return 125;
    execvp(argv[2], argv + 2);
    return 127;
  }
  if (argc >= 4 && std::strcmp(argv[1], "blocked") == 0) {
    sigset_t s;
    sigemptyset(&s);
    sigaddset(&s, std::atoi(argv[2]));
    // Blocked signals and the ones waiting stay so across exec.
    if (sigprocmask(SIG_BLOCK, &s, nullptr) != 0 || raise(std::atoi(argv[2])) != 0) return 125;
    execvp(argv[3], argv + 3);
    return 127;
  }
  if (argc == 3 && std::strcmp(argv[1], "shutdown") == 0) {
    const int fd = open(argv[2], O_RDONLY | O_DIRECTORY);
    __u32 how = FS_GOING_FLAGS_LOGFLUSH;
    if (fd < 0 || ioctl(fd, FS_IOC_SHUTDOWN, &how) != 0) {
      std::perror("shutdown");
      return 1;
    }
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "socket") == 0) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    if (std::strlen(argv[2]) >= sizeof a.sun_path) return 1;
    std::strcpy(a.sun_path, argv[2]);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    return fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? 0 : 1;
  }
  std::fputs("usage: robust_tool nonblock CMD... | shutdown DIR | socket PATH\n", stderr);
  return 2;
}
