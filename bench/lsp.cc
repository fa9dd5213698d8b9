// nestasm-lsp-bench: how long after a change to a document nestasm-lsp publishes its
// diagnostics, measured as an editor sees it: from writing the didChange to reading the answer;
// and, where the document has quick fixes, how long a codeAction on one line then takes.
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

// Waits for the answer to request `id`.
static json answer(int64_t id) {
  for (;;) {
    json m = receive();
    if (m.contains("id") && m["id"] == id && !m.contains("method")) return m;
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
static int64_t request_id = 100;

// Percentile `p` (0 to 100) of sorted `ms`, the nearest rank.
static double rank(const std::vector<double>& ms, double p) {
  size_t k = static_cast<size_t>(p / 100 * static_cast<double>(ms.size()) + 0.999999);
  if (k < 1) k = 1;
  return ms[std::min(k, ms.size()) - 1];
}

// Opens `text` and changes it `changes` times, taking the first marker off the line after the
// middle `mark` and putting it back, so that every other version has a mistake to report; prints
// the time from each change to its diagnostics. With `ask` (a 0-based line), each version is then
// asked for the quick fixes of that line, and the time to the answer is printed too.
static void measure(const char* name, const std::string& text, const char* mark, int changes,
                    int64_t ask = -1) {
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
  std::vector<double> ms, fixes;
  size_t most = 0, offered = 0;
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
    if (ask < 0) continue;
    const json range = {{"start", {{"line", ask}, {"character", 0}}},
                        {"end", {{"line", ask}, {"character", 200}}}};
    const int64_t id = ++request_id;
    const auto t1 = std::chrono::steady_clock::now();
    send({{"jsonrpc", "2.0"},
          {"id", id},
          {"method", "textDocument/codeAction"},
          {"params",
           {{"textDocument", {{"uri", uri}}}, {"range", range}, {"context", {{"diagnostics", json::array()}}}}}});
    const json a = answer(id);
    fixes.push_back(std::chrono::duration<double, std::milli>(arrived - t1).count());
    if (a["result"].is_array()) offered += a["result"].size();
  }
  std::sort(ms.begin(), ms.end());
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  std::printf(
      "nestasm-lsp, %s (%zu lines, %zu KiB, up to %zu diagnostics): a change to its "
      "diagnostics in %.2f ms (median of %d; 90%% %.2f, 99%% %.2f, max %.2f; goal 20)\n",
      name, lines, text.size() / 1024, most, rank(ms, 50), changes, rank(ms, 90), rank(ms, 99),
      ms.back());
  if (!fixes.empty()) {
    std::sort(fixes.begin(), fixes.end());
    std::printf("  then a codeAction on line %lld: %.2f ms (median; 99%% %.2f, max %.2f), %zu quick "
                "fixes offered in all\n",
                static_cast<long long>(ask + 1), rank(fixes, 50), rank(fixes, 99), fixes.back(),
                offered);
  }
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
  // The soak's kind of text: 2,000 lines with a warning and its rewrite on every tenth line
  // (200 diagnostics), and every other version one more; asked for the fixes of a line in the
  // middle after each change.
  measure("warns 2k", gen_warns(2000), "\n& inc", changes, 1002);
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
