// nestasm-lsp-bench: how long after a change to a 10,000-line document nestasm-lsp publishes its
// diagnostics, measured as an editor sees it: from writing the didChange to reading the answer.
//
//   nestasm-lsp-bench NESTASM_LSP [CHANGES]      default 100 changes to each of two documents
#include "lsp/lsp.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/common.h"
#include "gen.h"

static int to_server = -1, from_server = -1;
static std::string got;

static void send(const json& m) {
  std::string s;
  put_frame(s, m.dump());
  if (!write_all(to_server, s)) {
    std::fprintf(stderr, "nestasm-lsp-bench: the server went away\n");
    std::exit(1);
  }
}

static std::chrono::steady_clock::time_point arrived;

// The next message from the server; `arrived` is when its last byte was read.
static json receive() {
  for (;;) {
    size_t at = 0;
    std::string_view body;
    std::string why;
    if (next_frame(got, at, body, why) == frame::message) {
      arrived = std::chrono::steady_clock::now();
      json m = json::parse(body);
      got.erase(0, at);
      return m;
    }
    char buf[1 << 16];
    const ssize_t n = read(from_server, buf, sizeof buf);
    if (n <= 0) {
      std::fprintf(stderr, "nestasm-lsp-bench: the server went away\n");
      std::exit(1);
    }
    got.append(buf, static_cast<size_t>(n));
  }
}

// Waits for the diagnostics of `version`; returns how many there are.
static size_t diagnostics(int64_t v) {
  for (;;) {
    const json m = receive();
    if (m.value("method", "") == "textDocument/publishDiagnostics" && m["params"]["version"] == v)
      return m["params"]["diagnostics"].size();
  }
}

// A shipped example.
static std::string example(const char* name) {
  std::string path = std::string(NESTASM_SOURCE_DIR "/examples/") + name, text;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
  }
  if (text.empty()) {
    std::fprintf(stderr, "nestasm-lsp-bench: cannot read %s\n", path.c_str());
    std::exit(1);
  }
  return text;
}

static int64_t version = 0;

// Opens `text` and changes it `changes` times, taking the first marker off the line after the
// middle `mark` and putting it back, so that every other version has a mistake to report; prints
// the time from each change to its diagnostics.
static void measure(const char* name, const std::string& text, const char* mark, int changes) {
  std::string wrong = text;
  const size_t at = text.find(mark, text.size() / 2);
  if (at != std::string::npos) wrong.erase(at + 1, 2);
  const std::string uri = std::string("file:///") + name;
  send({{"jsonrpc", "2.0"},
        {"method", "textDocument/didOpen"},
        {"params",
         {{"textDocument",
           {{"uri", uri}, {"languageId", "nestasm"}, {"version", ++version}, {"text", text}}}}}});
  diagnostics(version);
  std::vector<double> ms;
  size_t most = 0;
  for (int i = 0; i < changes; ++i) {
    const json change = {{"jsonrpc", "2.0"},
                         {"method", "textDocument/didChange"},
                         {"params",
                          {{"textDocument", {{"uri", uri}, {"version", ++version}}},
                           {"contentChanges", json::array({{{"text", i % 2 ? text : wrong}}})}}}};
    const auto t0 = std::chrono::steady_clock::now();
    send(change);
    most = std::max(most, diagnostics(version));
    ms.push_back(std::chrono::duration<double, std::milli>(arrived - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  std::printf(
      "nestasm-lsp, %s (%zu lines, %zu KiB, up to %zu diagnostics): a change to its "
      "diagnostics in %.2f ms (median of %d; 90%% %.2f, max %.2f; goal 20)\n",
      name, lines, text.size() / 1024, most, ms[ms.size() / 2], changes, ms[ms.size() * 9 / 10],
      ms.back());
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: nestasm-lsp-bench NESTASM_LSP [CHANGES]\n");
    return 2;
  }
  const int changes = argc > 2 ? std::atoi(argv[2]) : 100;
  int in[2], out[2];
  if (pipe(in) || pipe(out)) return 1;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    close(in[1]);
    close(out[0]);
    execl(argv[1], argv[1], static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  to_server = in[1];
  from_server = out[0];

  send({{"jsonrpc", "2.0"},
        {"id", 0},
        {"method", "initialize"},
        {"params", {{"capabilities", json::object()}}}});
  receive();
  send({{"jsonrpc", "2.0"}, {"method", "initialized"}, {"params", json::object()}});

  // The first 10,000 lines of the realistic mix: blocks nested up to depth 6, comments (with
  // markers, a warning each), and blocks left open where it is cut, closed by the end of the
  // input.
  std::string mix = gen_mix(1 << 20);
  size_t cut = 0;
  for (int n = 0; n < 10000; ++n) cut = mix.find('\n', cut) + 1;
  mix.resize(cut);
  measure("the mix", mix, "\n& & ", changes);
  // A clean program: the classify example 210 times over, a loop around an if chain in each.
  const std::string classify = example("classify.s");
  std::string clean;
  while (clean.size() < 210 * classify.size()) clean += classify;
  measure("classify.s x210", clean, "\n& else", changes);

  send({{"jsonrpc", "2.0"}, {"id", 1}, {"method", "shutdown"}});
  send({{"jsonrpc", "2.0"}, {"method", "exit"}});
  int status = 0;
  waitpid(pid, &status, 0);
  return 0;
}
