// The byte stream: messages framed by their Content-Length header, and the loop that reads every
// waiting message before it checks the documents that changed.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "common/common.h"
#include "lsp/lsp.h"

// --- framing ----------------------------------------------------------------------------------

// A header longer than this has lost its end.
constexpr size_t max_header = 1 << 16;

static bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  return true;
}

// After a header that cannot be read, the next one starts at the next "Content-Length:"; the
// bytes before it are lost.
static frame broken(std::string_view in, size_t& pos, size_t from, std::string& why,
                    const char* w) {
  why = w;
  const size_t next = in.find("Content-Length:", from);
  const size_t keep = sizeof "Content-Length:" - 2;  // a start of it may still be coming
  pos = next != std::string_view::npos ? next
                                       : std::max(from, in.size() > keep ? in.size() - keep : 0);
  return frame::broken;
}

frame next_frame(std::string_view in, size_t& pos, std::string_view& body, std::string& why) {
  size_t p = pos;
  while (p < in.size() && (in[p] == '\r' || in[p] == '\n')) ++p;
  pos = p;
  // The header ends with an empty line; "\n" alone is taken for "\r\n".
  size_t end = std::string_view::npos;
  for (size_t i = in.find('\n', p); i != std::string_view::npos && i - p <= max_header;
       i = in.find('\n', i + 1)) {
    if (i + 1 < in.size() && in[i + 1] == '\n') {
      end = i + 2;
      break;
    }
    if (i + 2 < in.size() && in[i + 1] == '\r' && in[i + 2] == '\n') {
      end = i + 3;
      break;
    }
  }
  if (end == std::string_view::npos) {
    if (in.size() - p > max_header) return broken(in, pos, p + 1, why, "a header without end");
    return frame::more;
  }
  size_t len = SIZE_MAX;
  for (size_t l = p; l < end;) {
    size_t e = in.find('\n', l);
    std::string_view line = in.substr(l, e - l);
    l = e + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos)
      return broken(in, pos, p + 1, why, "a header line without a colon");
    if (!same_name(trimx(line.substr(0, colon)), "Content-Length")) continue;
    const std::string_view v = trimx(line.substr(colon + 1));
    if (v.empty() || v.size() > 10)
      return broken(in, pos, p + 1, why, "a Content-Length that is no number");
    size_t n = 0;
    for (char c : v) {
      if (c < '0' || c > '9')
        return broken(in, pos, p + 1, why, "a Content-Length that is no number");
      n = n * 10 + static_cast<size_t>(c - '0');
    }
    len = n;
  }
  if (len == SIZE_MAX) return broken(in, pos, p + 1, why, "a header without Content-Length");
  if (len > max_message) {
    why = "the message is " + std::to_string(len) + " bytes, more than the " +
          std::to_string(max_message) + " the server reads; it is skipped";
    pos = end + len;
    return frame::too_big;
  }
  if (in.size() - end < len) return frame::more;
  body = in.substr(end, len);
  pos = end + len;
  return frame::message;
}

void put_frame(std::string& out, std::string_view body) {
  out += "Content-Length: ";
  out += std::to_string(body.size());
  out += "\r\n\r\n";
  out += body;
}

// --- the loop ---------------------------------------------------------------------------------

static bool flush(server& s, int out) {
  if (s.out.empty()) return true;
  const bool ok = write_all(out, s.out);
  s.out.clear();
  if (s.out.capacity() > room_kept) std::string().swap(s.out);
  return ok;
}

// The loop's pipe that a round's thread writes a byte to when its verdict is in.
struct wake_pipe {
  int fd[2] = {-1, -1};
  wake_pipe() {
    if (pipe2(fd, O_CLOEXEC) == 0) fcntl(fd[0], F_SETFL, O_NONBLOCK);
  }
  ~wake_pipe() {
    for (const int f : fd)
      if (f >= 0) close(f);
  }
};

static int run(server& s, int in, int out, int wake) {
  static char buf[1 << 16];
  for (;;) {
    if (!flush(s, out)) return 1;
    if (s.exit_status >= 0) return s.exit_status;
    pollfd p[2] = {{in, POLLIN, 0}, {wake, POLLIN, 0}};
    const nfds_t n_fds = wake >= 0 ? 2 : 1;
    int r = poll(p, n_fds, 0);
    if (r >= 0 && !p[0].revents) {
      // Nothing more is waiting: the burst is over. NASM's verdicts that came meanwhile are of
      // the texts the documents have, as a change stops its document's round.
      if (p[1].revents) {
        char b[256];
        while (read(wake, b, sizeof b) > 0) {
        }
        take_rounds(s);
      }
      publish(s);
      if (!flush(s, out)) return 1;
      r = poll(p, n_fds, -1);
      if (r > 0 && !p[0].revents) continue;  // a round's verdict: taken at the top
    }
    if (r < 0 && errno == EINTR) continue;
    const ssize_t n = r < 0 ? -1 : read(in, buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return s.shut ? 0 : 1;
    feed(s, std::string_view(buf, static_cast<size_t>(n)));
  }
}

int serve(int in, int out, const serve_opts& o) {
  // A client that goes away is the end of the session, not a signal that kills it.
  std::signal(SIGPIPE, SIG_IGN);
  const wake_pipe wake;
  server s;
  s.assemble = o.assemble;
  s.nasm_path = o.nasm;
  s.wake = wake.fd[1];
  const int status = run(s, in, out, wake.fd[0]);
  // Every round stopped and its thread joined before the pipe they write to is closed.
  drop_rounds(s);
  return status;
}
