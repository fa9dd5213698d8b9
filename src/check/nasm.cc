// The assembler's verdict at the source line: NASM assembles the translation, written with
// %line directives so that it names the lines the user wrote, in a private folder of its own.
#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "check/check.h"
#include "check/run.h"
#include "common/common.h"
#include "scan/scan.h"

extern char** environ;

namespace {

// A folder only this process reads and writes, gone with the object.
struct private_dir {
  std::string path;
  private_dir() {
    const char* t = std::getenv("TMPDIR");
    std::string tmpl = std::string(t && *t ? t : "/tmp") + "/nestasm-check-XXXXXX";
    if (!mkdtemp(tmpl.data())) return;  // mode 0700
    // Named whole: NASM may run in another folder.
    char* real = realpath(tmpl.c_str(), nullptr);
    path = real ? real : tmpl;
    std::free(real);
  }
  ~private_dir() {
    if (path.empty()) return;
    for (const char* f : {"/in.asm", "/out0", "/out1", "/out2"}) unlink((path + f).c_str());
    rmdir(path.c_str());
  }
};

bool put_file(const std::string& path, std::string_view text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool ok = write_all(fd, text);
  return ::close(fd) == 0 && ok;
}

int64_t now_ms() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// One NASM run: what it printed, or why there is nothing to read.
struct run_out {
  bool ran = false;
  std::string said;
  std::string why;  // when it did not run to its end
};

// One NASM started: its process and the pipe its messages come through.
struct child {
  pid_t pid = -1;
  int fd = -1;
  run_out r;
};

// Starts NASM on dir/in.asm as `format` (none: the user's -f), writing dir/out`k`.
child start_nasm(const nasm_opts& o, const std::string& dir, std::string_view format, size_t k) {
  child c;
  std::vector<std::string> args = {o.path.empty() ? "nasm" : o.path};
  if (!format.empty()) args.push_back("-f" + std::string(format));
  args.insert(args.end(), o.args.begin(), o.args.end());
  args.insert(args.end(), {"-o", dir + "/out" + std::to_string(k), dir + "/in.asm"});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int p[2];
  if (pipe2(p, O_CLOEXEC) != 0) {
    c.r.why = "no pipe to read it through";
    return c;
  }
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&fa, p[1], 1);
  posix_spawn_file_actions_adddup2(&fa, p[1], 2);
  // %include looks in the folder NASM runs in first: the build's, when its options are taken.
  if (!o.cwd.empty()) posix_spawn_file_actions_addchdir_np(&fa, o.cwd.c_str());
  // In a process group of its own, so that a NASM stopped early goes with whatever it started
  // (a wrapper script's own children).
  posix_spawnattr_t at;
  posix_spawnattr_init(&at);
  posix_spawnattr_setflags(&at, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&at, 0);
  const int e = posix_spawnp(&c.pid, argv[0], &fa, &at, argv.data(), environ);
  posix_spawnattr_destroy(&at);
  posix_spawn_file_actions_destroy(&fa);
  ::close(p[1]);
  if (e != 0) {
    ::close(p[0]);
    c.pid = -1;
    c.r.why = e == ENOENT ? "was not found" : std::string("could not start: ") + std::strerror(e);
    return c;
  }
  c.fd = p[0];
  return c;
}

// NASM run once for each of `formats` at the same time, each to its end, its time limit or the
// caller's stop: what each printed, or why there is nothing to read. Empty when one could not
// be started (its reason in `why`).
std::vector<run_out> run_nasm(const nasm_opts& o, const std::string& dir,
                              const std::vector<std::string_view>& formats, std::string& why) {
  std::vector<child> cs;
  for (size_t k = 0; k < formats.size() && why.empty(); ++k) {
    cs.push_back(start_nasm(o, dir, formats[k], k));
    if (cs.back().pid < 0) why = cs.back().r.why;
  }
  const int64_t until = now_ms() + o.timeout_ms;
  bool timed_out = false, stopped = false;
  char buf[4096];
  while (why.empty()) {
    std::vector<pollfd> pf;
    std::vector<child*> of;
    for (child& c : cs)
      if (c.fd >= 0) {
        pf.push_back({c.fd, POLLIN, 0});
        of.push_back(&c);
      }
    if (pf.empty()) break;
    const int64_t left = until - now_ms();
    if (left <= 0) {
      timed_out = true;
      break;
    }
    if (o.stop_fd >= 0) pf.push_back({o.stop_fd, POLLIN, 0});
    const int n = poll(pf.data(), pf.size(), static_cast<int>(std::min<int64_t>(left, 1000)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) continue;
    if (o.stop_fd >= 0 && pf.back().revents) {
      stopped = true;
      break;
    }
    for (size_t i = 0; i < of.size(); ++i) {
      if (!pf[i].revents) continue;
      child& c = *of[i];
      const ssize_t got = ::read(c.fd, buf, sizeof buf);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        ::close(c.fd);
        c.fd = -1;
        continue;
      }
      // A NASM that floods its output is stopped as one that runs too long would be.
      if (c.r.said.size() < (size_t{4} << 20)) c.r.said.append(buf, static_cast<size_t>(got));
    }
  }
  std::vector<run_out> out;
  for (child& c : cs) {
    if (c.fd >= 0) ::close(c.fd);
    if (c.pid < 0) continue;
    if (timed_out || stopped || !why.empty()) kill(-c.pid, SIGKILL);
    int status = 0;
    while (waitpid(c.pid, &status, 0) < 0 && errno == EINTR) {
    }
    run_out& r = c.r;
    if (stopped) {
      r.why = "was stopped";
    } else if (timed_out) {
      r.why = "ran past " + (o.timeout_ms % 1000 ? std::to_string(o.timeout_ms) + " ms"
                                                   : std::to_string(o.timeout_ms / 1000) + " s");
    } else if (WIFSIGNALED(status)) {
      r.why = "was ended by signal " + std::to_string(WTERMSIG(status));
    } else if (WIFEXITED(status) && WEXITSTATUS(status) == 127 && r.said.empty()) {
      r.why = "could not be run";
    } else {
      r.ran = true;
    }
    out.push_back(std::move(r));
  }
  if (!why.empty()) out.clear();
  return out;
}

// The messages of one run that name a line of `file`: "FILE:LINE: error: TEXT".
std::vector<nasm_said> parse(std::string_view said, std::string_view file,
                             std::vector<std::string>& others) {
  std::vector<nasm_said> out;
  for (size_t pos = 0; pos < said.size();) {
    const std::string_view l = next_line(said, pos);
    if (l.empty()) continue;
    nasm_said m;
    bool mine = false;
    if (l.size() > file.size() + 1 && l.starts_with(file) && l[file.size()] == ':') {
      size_t i = file.size() + 1;
      int64_t n = 0;
      const size_t digits = i;
      while (i < l.size() && l[i] >= '0' && l[i] <= '9' && n < (int64_t{1} << 40))
        n = n * 10 + (l[i++] - '0');
      const std::string_view rest = l.substr(i);
      if (i > digits && rest.starts_with(": ")) {
        const std::string_view body = rest.substr(2);
        for (const auto& [word, lvl] : {std::pair{"error: ", level::error},
                                        std::pair{"fatal: ", level::error},
                                        std::pair{"warning: ", level::warning}}) {
          if (body.starts_with(word)) {
            m = {n, lvl, std::string(body.substr(std::strlen(word)))};
            mine = true;
          }
        }
        // "... from macro `two' defined here", "info: ..." go with the message before them.
        if (!mine && !out.empty()) continue;
      }
    }
    if (mine) out.push_back(std::move(m));
    else if (others.size() < 8) others.emplace_back(l);
  }
  return out;
}

}  // namespace

nasm_verdict assemble(std::string_view translation, std::string_view file, const nasm_opts& o) {
  nasm_verdict v;
  private_dir dir;
  if (dir.path.empty() || !put_file(dir.path + "/in.asm", translation)) {
    v.note = "NASM's verdict is left out: no private folder to assemble in";
    return v;
  }
  const bool chosen = std::any_of(o.args.begin(), o.args.end(),
                                  [](const std::string& a) { return a.starts_with("-f"); });
  // Without a format of the user's build, only what every kind of output rejects is certain.
  const std::vector<std::string_view> formats =
      chosen ? std::vector<std::string_view>{""}
             : std::vector<std::string_view>{"bin", "elf32", "elf64"};
  std::vector<std::vector<nasm_said>> each;
  std::vector<std::string> others;
  // The formats at once: the verdict waits for the slowest run, not for all three in a row.
  std::string why;
  const std::vector<run_out> runs = run_nasm(o, dir.path, formats, why);
  for (const run_out& r : runs)
    if (!r.ran && why.empty()) why = r.why;
  if (!why.empty()) {
    v.note = "NASM's verdict is left out: " + std::string(o.path.empty() ? "nasm" : o.path) +
             " " + why;
    v.missing = why == "was not found";
    return v;
  }
  for (const run_out& r : runs) each.push_back(parse(r.said, file, others));
  v.ran = true;
  // Kept when every format says it: by a set of each run's messages, as a file with a mistake
  // on most lines draws thousands.
  std::vector<std::set<std::tuple<int64_t, int, std::string_view>>> sets;
  for (size_t k = 1; k < each.size(); ++k) {
    sets.emplace_back();
    for (const nasm_said& x : each[k]) sets.back().insert({x.line, static_cast<int>(x.lvl), x.text});
  }
  for (const nasm_said& m : each[0]) {
    const bool everywhere = std::all_of(sets.begin(), sets.end(), [&](const auto& e) {
      return e.count({m.line, static_cast<int>(m.lvl), m.text}) > 0;
    });
    if (everywhere) v.said.push_back(m);
  }
  v.depends = !chosen && v.said.empty() &&
              std::any_of(each.begin(), each.end(), [](const auto& e) { return !e.empty(); });
  v.others = std::move(others);
  return v;
}

// Where the translation's part for each source line lies, from its "%line LINE+0" directives:
// the lines after one, up to the next directive.
static std::map<int64_t, std::pair<size_t, size_t>> parts_of(std::string_view translation) {
  std::map<int64_t, std::pair<size_t, size_t>> parts;
  std::pair<size_t, size_t>* cur = nullptr;
  for (size_t pos = 0; pos < translation.size();) {
    const std::string_view l = next_line(translation, pos);
    if (l.starts_with("%line ")) {
      int64_t n = 0;
      for (size_t i = 6; i < l.size() && l[i] >= '0' && l[i] <= '9' && n < (int64_t{1} << 40); ++i)
        n = n * 10 + (l[i] - '0');
      cur = &parts[n];
      *cur = {pos, pos};
    } else if (cur) {
      cur->second = pos;
    }
  }
  return parts;
}

// The output lines made of source line `line` (1-based), each in backquotes.
static std::string made_of(std::string_view translation,
                           const std::map<int64_t, std::pair<size_t, size_t>>& parts,
                           int64_t line) {
  std::string got;
  const auto it = parts.find(line);
  if (it == parts.end()) return got;
  const std::string_view part =
      translation.substr(it->second.first, it->second.second - it->second.first);
  for (size_t pos = 0; pos < part.size();)
    got += (got.empty() ? "`" : ", `") + std::string(next_line(part, pos)) + "`";
  return got;
}

std::vector<diag> nasm_diags(const nasm_verdict& v, std::string_view text,
                             std::string_view translation) {
  std::vector<diag> out;
  const auto note = [&](std::string s) {
    diag d;
    d.lvl = level::note;
    d.text = std::move(s);
    out.push_back(std::move(d));
  };
  if (!v.note.empty()) note(v.note);
  if (v.said.empty()) return out;
  // Where each line starts, for the source line and caret of each message.
  std::vector<std::string_view> lines;
  for (size_t pos = 0; pos < text.size();) lines.push_back(next_line(text, pos));
  const auto parts = parts_of(translation);
  // The lines NASM takes as labels that start a scope of local labels: "name:" that is not
  // local, and a word alone on a line, which NASM warns of as a label without a colon.
  std::map<int64_t, std::string_view> scopes;
  for (size_t i = 0; i < lines.size(); ++i) {
    const line_scan s = scan_line(lines[i]);
    const std::string_view l = s.kind == stmt::plain ? label_of(s.body) : std::string_view();
    if (!l.empty() && l[0] != '.') scopes[static_cast<int64_t>(i) + 1] = l;
  }
  for (const nasm_said& m : v.said)
    if (m.text.starts_with("label alone on a line without a colon") && m.line >= 1 &&
        static_cast<size_t>(m.line) <= lines.size())
    {
      const std::string_view body = scan_line(lines[static_cast<size_t>(m.line - 1)]).body;
      scopes[m.line] = body.substr(0, std::min(body.find_first_of(" \t;"), body.size()));
    }
  // Where each label nestasm made is defined: the source line of its part of the translation.
  std::map<std::string_view, int64_t> made_at;
  for (const auto& [line, part] : parts)
    for (size_t pos = part.first; pos < part.second;) {
      const std::string_view l = next_line(translation, pos);
      if ((l.starts_with(".if_") || l.starts_with(".while_")) && l.ends_with(":"))
        made_at[l.substr(0, l.size() - 1)] = line;
    }
  for (const nasm_said& m : v.said) {
    diag d;
    d.lvl = m.lvl;
    d.nasm = true;
    d.line = m.line;
    d.text = m.text;
    const bool known = m.line >= 1 && static_cast<size_t>(m.line) <= lines.size();
    line_scan s;
    if (known) {
      d.src = lines[static_cast<size_t>(m.line - 1)];
      s = scan_line(d.src);
      d.col = static_cast<size_t>(s.body.data() - d.src.data()) + 1;
      d.end_col = d.col + std::max<size_t>(s.body.size(), 1);
    } else {
      d.line = 0;
    }
    out.push_back(std::move(d));
    if (!known || s.kind == stmt::blank || s.kind == stmt::plain) continue;
    const std::string word = lowerme(std::string(s.body.substr(0, s.word)));
    const std::string became = made_of(translation, parts, m.line);
    diag n;
    n.lvl = level::note;
    n.line = m.line;
    n.echo = false;
    n.col = out.back().col;
    n.end_col = out.back().end_col;
    n.src = out.back().src;
    n.text = "NASM read what this `" + word + "` became: " +
             (became.empty() ? std::string("no line of its own") : became);
    out.push_back(n);
    const cond_split p = split_cond(s.arg);
    if (m.text.find("operation size not specified") != std::string::npos && p.op &&
        p.lhs.find('[') != std::string_view::npos) {
      n.text = "a memory operand compared with a number needs its size: write `byte`, `word`, "
               "`dword` or `qword` before `" + std::string(p.lhs) + "`";
      out.push_back(n);
    }
    // "symbol `start.if_else_2' not defined": a label between this jump and its target's line
    // began another scope, so the two name different labels.
    const size_t q = m.text.find("symbol `");
    if (m.text.find("not defined") == std::string::npos || q == std::string::npos) continue;
    const std::string_view sym = std::string_view(m.text).substr(q + 8);
    const size_t dot = sym.find('.');
    const size_t tick = sym.find('\'');
    if (dot == std::string_view::npos || tick == std::string_view::npos || dot > tick) continue;
    const auto target = made_at.find(sym.substr(dot, tick - dot));
    if (target == made_at.end()) continue;
    const int64_t lo = std::min(m.line, target->second), hi = std::max(m.line, target->second);
    for (auto it = scopes.upper_bound(lo); it != scopes.end() && it->first < hi; ++it) {
      n.text = "NASM takes `" + std::string(it->second) + "` (line " + std::to_string(it->first) +
               ") as a label, which starts another scope of local labels: `" +
               std::string(target->first) + "`, made at line " +
               std::to_string(target->second) + ", is not the one this jump names";
      out.push_back(n);
      break;
    }
  }
  // A label nestasm made, defined twice: its statement stands in text NASM repeats.
  for (const nasm_said& m : v.said) {
    const size_t at = m.text.find("`.");
    if (m.text.find("redefined") == std::string::npos || at == std::string::npos) continue;
    const std::string_view name = std::string_view(m.text).substr(at + 1);
    if (!name.starts_with(".if_") && !name.starts_with(".while_")) continue;
    note("the labels nestasm makes have fixed names, so a statement inside `%macro` or `%rep` "
         "defines them again at each expansion: keep the statements outside the text NASM "
         "repeats");
    break;
  }
  return out;
}
