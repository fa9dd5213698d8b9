// nestasm-lsp-bench: how long after a change to a document nestasm-lsp publishes its
// diagnostics, measured as an editor sees it: from writing the didChange to reading the answer;
// where the document has quick fixes, how long a codeAction on one line then takes; how long
// formatting 100,000 lines takes; where NASM is on PATH, the second round: from a change to the
// publish that carries NASM's diagnostics; with --memory, the server's memory and time for each
// request on one huge document. All but the second round run with --no-assemble: the core's own
// work.
//
//   nestasm-lsp-bench NESTASM_LSP [CHANGES]      default 100 changes to each of two documents
//   nestasm-lsp-bench NESTASM_LSP --memory [MiB] default a 50 MiB document
#include "lsp/lsp.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/common.h"
#include "gen.h"

static int to_server = -1, from_server = -1;
static pid_t server_pid = -1;
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

// Sends the request `method` with `params`; returns its id.
static int64_t ask_of(const char* method, json params) {
  const int64_t id = ++request_id;
  send({{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", std::move(params)}});
  return id;
}

// Opens `text` as `uri` and waits for its diagnostics.
static void open_doc(const std::string& uri, const std::string& text) {
  send({{"jsonrpc", "2.0"},
        {"method", "textDocument/didOpen"},
        {"params",
         {{"textDocument",
           {{"uri", uri}, {"languageId", "nestasm"}, {"version", ++version}, {"text", text}}}}}});
  diagnostics(version);
}

// Opens `text` as file:///NAME and waits for its first diagnostics; returns its address.
static std::string opened(const char* name, const std::string& text) {
  const std::string uri = std::string("file:///") + name;
  open_doc(uri, text);
  return uri;
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
  const std::string uri = opened(name, text);
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
    const auto t1 = std::chrono::steady_clock::now();
    const json a = answer(ask_of("textDocument/codeAction",
                                 {{"textDocument", {{"uri", uri}}},
                                  {"range", range},
                                  {"context", {{"diagnostics", json::array()}}}}));
    fixes.push_back(std::chrono::duration<double, std::milli>(arrived - t1).count());
    if (a["result"].is_array())
      for (const json& x : a["result"]) offered += x.value("kind", "") == "quickfix";
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

// NASM's round on the 10,000-line `text`, `changes` times: each version is `text` with one
// more line that NASM rejects, so that each round has a verdict to publish; prints the time
// from each change to its core diagnostics and to the publish that carries NASM's.
static void measure_nasm(const char* name, const std::string& text, int changes) {
  const std::string uri = opened(name, text + "mov rxa, 0\n");
  // The open's own round, which the first change would otherwise stop.
  for (;;) {
    const json m = receive();
    if (m.value("method", "") == "textDocument/publishDiagnostics" && m["params"]["version"] == version &&
        m["params"]["diagnostics"].dump().find("\"code\":\"nasm\"") != std::string::npos)
      break;
  }
  std::vector<double> core, second;
  size_t most = 0, from_nasm = 0;
  for (int i = 0; i < changes; ++i) {
    const std::string t = text + "mov rxa, " + std::to_string(i % 2 + 1) + "\n";
    const json change = {{"jsonrpc", "2.0"},
                         {"method", "textDocument/didChange"},
                         {"params",
                          {{"textDocument", {{"uri", uri}, {"version", ++version}}},
                           {"contentChanges", json::array({{{"text", t}}})}}}};
    const auto t0 = std::chrono::steady_clock::now();
    send(change);
    bool first = true;
    for (;;) {
      const json m = receive();
      if (m.value("method", "") == "window/logMessage") {
        std::fprintf(stderr, "nestasm-lsp-bench: %s\n", m["params"].value("message", "").c_str());
        return;
      }
      if (m.value("method", "") != "textDocument/publishDiagnostics" ||
          m["params"]["version"] != version)
        continue;
      const double ms = std::chrono::duration<double, std::milli>(arrived - t0).count();
      const json& ds = m["params"]["diagnostics"];
      size_t n = 0;
      for (const json& d : ds) n += d.value("code", "") == "nasm";
      if (first) core.push_back(ms);
      first = false;
      if (n == 0) continue;
      second.push_back(ms);
      most = std::max(most, ds.size());
      from_nasm = n;
      break;
    }
  }
  std::sort(core.begin(), core.end());
  std::sort(second.begin(), second.end());
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  std::printf(
      "nestasm-lsp with NASM's round, %s (%zu lines, up to %zu diagnostics, %zu of them NASM's): "
      "a change to its core diagnostics in %.2f ms (median of %d; 99%% %.2f), to NASM's in %.1f "
      "ms (median; 90%% %.1f, max %.1f; goal 300)\n",
      name, lines + 1, most, from_nasm, rank(core, 50), changes, rank(core, 99), rank(second, 50),
      rank(second, 90), second.back());
}

// The requests an editor sends for what it draws of a document that did not change, `times`
// each on `text`: its semantic tokens and the inlay hints of the whole of it.
static void measure_views(const char* name, const std::string& text, int times) {
  const std::string uri = std::string("file:///views-") + name;
  open_doc(uri, text);
  const json whole = {{"start", {{"line", 0}, {"character", 0}}},
                      {"end", {{"line", 1 << 30}, {"character", 0}}}};
  for (const char* method : {"textDocument/semanticTokens/full", "textDocument/inlayHint"}) {
    std::vector<double> ms;
    size_t size = 0;
    for (int i = 0; i < times; ++i) {
      const int64_t id = ++request_id;
      const auto t0 = std::chrono::steady_clock::now();
      send({{"jsonrpc", "2.0"},
            {"id", id},
            {"method", method},
            {"params", {{"textDocument", {{"uri", uri}}}, {"range", whole}}}});
      const json a = answer(id);
      ms.push_back(std::chrono::duration<double, std::milli>(arrived - t0).count());
      const json& r = a["result"];
      size = r.is_array() ? r.size() : r.is_object() ? r["data"].size() / 5 : 0;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("  %s on %s: %.2f ms (median of %d; 99%% %.2f, max %.2f), %zu %s\n", method, name,
                rank(ms, 50), times, rank(ms, 99), ms.back(), size,
                method[13] == 's' ? "tokens" : "hints");
  }
}

// Opens `text` and asks for its formatting `runs` times; prints the time from each request to
// its answer, against the 200 ms goal for 100,000 lines.
static void format(const char* name, const std::string& text, int runs) {
  const std::string uri = opened(name, text);
  std::vector<double> ms;
  size_t edits = 0;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    const json a = answer(ask_of("textDocument/formatting",
                                 {{"textDocument", {{"uri", uri}}},
                                  {"options", {{"tabSize", 8}, {"insertSpaces", true}}}}));
    ms.push_back(std::chrono::duration<double, std::milli>(arrived - t0).count());
    if (a["result"].is_array()) edits = a["result"].size();
  }
  std::sort(ms.begin(), ms.end());
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  std::printf("nestasm-lsp, %s (%zu lines, %zu KiB): formatting in %.1f ms (median of %d; max "
              "%.1f; goal 200), %zu edits\n",
              name, lines, text.size() / 1024, rank(ms, 50), runs, ms.back(), edits);
  send({{"jsonrpc", "2.0"},
        {"method", "textDocument/didClose"},
        {"params", {{"textDocument", {{"uri", uri}}}}}});
}

// --- memory -----------------------------------------------------------------------------------
// Read from /proc while the server runs: its resident size now (VmRSS) and its peak (VmHWM),
// which writing "5" to clear_refs sets back to the size now, so each request gets its own peak.

static double mib_of(const char* field) {
  const std::string path = "/proc/" + std::to_string(server_pid) + "/status";
  FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return -1;
  char line[256];
  double kib = -1;
  const size_t n = std::strlen(field);
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, field, n) == 0) kib = std::atof(line + n);
  std::fclose(f);
  return kib / 1024;
}

static void reset_peak() {
  const std::string path = "/proc/" + std::to_string(server_pid) + "/clear_refs";
  if (FILE* f = std::fopen(path.c_str(), "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
}

// Waits for the answer to request `id`; returns the length of its body.
static size_t answer(int64_t id, bool& failed) {
  for (;;) {
    size_t at = 0;
    std::string_view body;
    std::string why;
    if (next_frame(got, at, body, why) == frame::message) {
      arrived = std::chrono::steady_clock::now();
      const size_t n = body.size();
      // Only the head is parsed: the answer may be too large to hold twice.
      const std::string head(body.substr(0, 200));
      got.erase(0, at);
      if (head.find("\"id\":" + std::to_string(id) + ",") != std::string::npos ||
          head.find("\"id\":" + std::to_string(id) + "}") != std::string::npos) {
        failed = head.find("\"error\"") != std::string::npos;
        return n;
      }
      continue;
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

static void row(const char* what, std::chrono::steady_clock::time_point t0, double doc_mib,
                size_t bytes, bool failed) {
  const double ms = std::chrono::duration<double, std::milli>(arrived - t0).count();
  const double peak = mib_of("VmHWM:"), now = mib_of("VmRSS:");
  std::printf("  %-26s %9.0f %9.1f %8.2fx %9.1f %11.1f%s\n", what, ms, peak, peak / doc_mib,
              now, static_cast<double>(bytes) / (1 << 20), failed ? "  (an error)" : "");
}

// Opens one document of `mib` MiB (the realistic mix), asks every request of the server about
// it, and closes it; then sends one message larger than the server takes, which is not JSON.
static void memory(size_t mib) {
  const std::string text = gen_mix(mib << 20);
  const double doc_mib = static_cast<double>(text.size()) / (1 << 20);
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  const std::string uri = "file:///huge.s";
  std::printf("nestasm-lsp, one document of %.1f MiB (%zu lines, the mix): memory in MiB\n",
              doc_mib, lines);
  std::printf("  %-26s %9s %9s %9s %9s %11s\n", "step", "ms", "peak", "peak/doc", "after",
              "answer MiB");
  std::printf("  %-26s %9s %9s %9s %9.1f\n", "started", "", "", "", mib_of("VmRSS:"));
  {
    std::string m;
    put_frame(m, json{{"jsonrpc", "2.0"},
                      {"method", "textDocument/didOpen"},
                      {"params",
                       {{"textDocument",
                         {{"uri", uri}, {"languageId", "nestasm"}, {"version", 1}, {"text", text}}}}}}
                     .dump());
    reset_peak();
    const auto t0 = std::chrono::steady_clock::now();
    if (!write_all(to_server, m)) std::exit(1);
    m.clear();
    m.shrink_to_fit();
    diagnostics(1);
    row("didOpen to diagnostics", t0, doc_mib, 0, false);
  }
  const json doc = {{"uri", uri}};
  const json mid = {{"line", lines / 2}, {"character", 0}};
  // A line that opens a block, for highlight and definition: the first "if" past the middle.
  int64_t if_line = static_cast<int64_t>(lines / 2);
  {
    size_t at = 0;
    for (size_t l = 0; l < lines / 2; ++l) at = text.find('\n', at) + 1;
    for (size_t p = at; p < text.size(); p = text.find('\n', p) + 1, ++if_line) {
      size_t b = p;
      while (b < text.size() && (text[b] == '&' || text[b] == ' ' || text[b] == '\t')) ++b;
      if (text.compare(b, 3, "if ") == 0 || text.compare(b, 5, "elif ") == 0) break;
    }
  }
  const json at_if = {{"line", if_line}, {"character", 0}};
  const struct {
    const char* what;
    const char* method;
    json params;
  } reqs[] = {
      {"documentSymbol", "textDocument/documentSymbol", {{"textDocument", doc}}},
      {"foldingRange", "textDocument/foldingRange", {{"textDocument", doc}}},
      {"hover", "textDocument/hover", {{"textDocument", doc}, {"position", mid}}},
      {"documentHighlight", "textDocument/documentHighlight",
       {{"textDocument", doc}, {"position", at_if}}},
      {"definition", "textDocument/definition", {{"textDocument", doc}, {"position", at_if}}},
      {"semanticTokens/full", "textDocument/semanticTokens/full", {{"textDocument", doc}}},
      {"inlayHint (whole text)", "textDocument/inlayHint",
       {{"textDocument", doc},
        {"range", {{"start", {{"line", 0}, {"character", 0}}},
                   {"end", {{"line", lines}, {"character", 0}}}}}}},
      {"codeAction (whole text)", "textDocument/codeAction",
       {{"textDocument", doc},
        {"range", {{"start", {{"line", 0}, {"character", 0}}},
                   {"end", {{"line", lines}, {"character", 0}}}}},
        {"context", {{"diagnostics", json::array()}}}}},
  };
  int64_t id = 100;
  for (const auto& r : reqs) {
    reset_peak();
    const auto t0 = std::chrono::steady_clock::now();
    send({{"jsonrpc", "2.0"}, {"id", ++id}, {"method", r.method}, {"params", r.params}});
    bool failed = false;
    const size_t n = answer(id, failed);
    row(r.what, t0, doc_mib, n, failed);
  }
  {
    reset_peak();
    const auto t0 = std::chrono::steady_clock::now();
    send({{"jsonrpc", "2.0"},
          {"method", "textDocument/didClose"},
          {"params", {{"textDocument", doc}}}});
    send({{"jsonrpc", "2.0"}, {"id", ++id}, {"method", "no/such"}});
    bool failed = false;
    answer(id, failed);
    row("didClose", t0, doc_mib, 0, false);
  }
  {
    // 200 MiB that are not JSON, in pieces: the server's answer, and what it keeps after.
    const size_t big = size_t{200} << 20;
    reset_peak();
    const auto t0 = std::chrono::steady_clock::now();
    const std::string head = "Content-Length: " + std::to_string(big) + "\r\n\r\n";
    if (!write_all(to_server, head)) std::exit(1);
    const std::string piece(1 << 20, 'x');
    // The server may answer before the body is sent: read while writing, or both may block.
    for (size_t sent = 0; sent < big; sent += piece.size()) {
      pollfd p = {from_server, POLLIN, 0};
      while (poll(&p, 1, 0) > 0) {
        char buf[1 << 16];
        const ssize_t n = read(from_server, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
      }
      if (!write_all(to_server, piece)) std::exit(1);
    }
    send({{"jsonrpc", "2.0"}, {"id", ++id}, {"method", "no/such"}});
    bool failed = false;
    answer(id, failed);
    row("200 MiB body, not JSON", t0, doc_mib, 0, false);
  }
}

// Starts the server `lsp` with the option `opt` and initializes it.
static void start(const char* lsp, const char* opt, bool mem) {
  int in[2], out[2];
  if (pipe(in) || pipe(out)) std::exit(1);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    close(in[0]);
    close(in[1]);
    close(out[0]);
    close(out[1]);
    execl(lsp, lsp, opt, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  server_pid = pid;
  to_server = in[1];
  from_server = out[0];
  got.clear();
  send({{"jsonrpc", "2.0"},
        {"id", 0},
        {"method", "initialize"},
        {"params",
         {{"capabilities",
           mem ? json{{"textDocument",
                       {{"documentSymbol", {{"hierarchicalDocumentSymbolSupport", true}}}}}}
               : json::object()}}}});
  receive();
  send({{"jsonrpc", "2.0"}, {"method", "initialized"}, {"params", json::object()}});
}

static void finish() {
  send({{"jsonrpc", "2.0"}, {"id", 1}, {"method", "shutdown"}});
  send({{"jsonrpc", "2.0"}, {"method", "exit"}});
  int status = 0;
  waitpid(server_pid, &status, 0);
  close(to_server);
  close(from_server);
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: nestasm-lsp-bench NESTASM_LSP [CHANGES]\n");
    return 2;
  }
  const bool mem = argc > 2 && std::strcmp(argv[2], "--memory") == 0;
  const int changes = argc > 2 && !mem ? std::atoi(argv[2]) : 100;
  start(argv[1], "--no-assemble", mem);
  if (mem) {
    memory(argc > 3 ? static_cast<size_t>(std::atoi(argv[3])) : 50);
    finish();
    return 0;
  }

  // The first 10,000 lines of the realistic mix: blocks nested up to depth 6, comments (with
  // markers, a warning each), and blocks left open where it is cut, closed by the end of the
  // input.
  std::string mix = gen_mix(1 << 20);
  size_t cut = 0;
  for (int n = 0; n < 10000; ++n) cut = mix.find('\n', cut) + 1;
  mix.resize(cut);
  measure("the mix", mix, "\n& & ", changes);
  measure_views("the mix", mix, changes);
  // The soak's kind of text: 2,000 lines with a warning and its rewrite on every tenth line
  // (200 diagnostics), and every other version one more; asked for the fixes of a line in the
  // middle after each change.
  measure("warns 2k", gen_warns(2000), "\n& inc", changes, 1002);
  // A clean program: the classify example 210 times over, a loop around an if chain in each.
  const std::string classify = example("classify.s");
  std::string clean;
  while (clean.size() < 210 * classify.size()) clean += classify;
  measure("classify.s x210", clean, "\n& else", changes);

  // Formatting 100,000 lines of the mix: as generated (half its lines in another layout), and
  // with its markers run together ("&&x"), so that every line inside a block is rewritten.
  std::string mix100 = gen_mix(4 << 20);
  cut = 0;
  for (int n = 0; n < 100000; ++n) cut = mix100.find('\n', cut) + 1;
  mix100.resize(cut);
  format("the mix, 100k", mix100, 10);
  std::string packed;
  packed.reserve(mix100.size());
  for (size_t i = 0; i < mix100.size(); ++i)
    if (!(mix100[i] == ' ' && i > 0 && mix100[i - 1] == '&')) packed += mix100[i];
  format("the mix, 100k, &&", packed, 10);
  finish();

  // NASM's round, on a server that assembles, where NASM is on PATH.
  if (system("command -v nasm >/dev/null 2>&1") != 0) {
    std::printf("nestasm-lsp with NASM's round: not measured, nasm is not on PATH\n");
    return 0;
  }
  start(argv[1], "--stdio", false);
  measure_nasm("the mix", mix, std::max(changes / 5, 5));
  finish();
  return 0;
}
