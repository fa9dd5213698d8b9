// NASM's verdict in a second round: after a document's core diagnostics are out, a thread has
// NASM assemble its translation (the checker's `assemble`) while the loop goes on; the loop
// publishes the core's diagnostics again with NASM's after them, unless the text changed since.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "common/common.h"
#include "lsp/lsp.h"

nasm_round::~nasm_round() {
  if (running) {
    if (stop[1] >= 0) write_all(stop[1], "x");
    pthread_join(worker, nullptr);
  }
  for (const int fd : stop)
    if (fd >= 0) ::close(fd);
}

void read_settings(server& s, const json& options) {
  if (get(options, "assemble") == false) s.assemble = false;
  const json& path = get(options, "nasm");
  if (path.is_string() && !path.get_ref<const std::string&>().empty())
    s.nasm_path = path.get<std::string>();
  const json& ms = get(options, "nasmTimeout");
  if (ms.is_number_integer() && ms.get<int64_t>() > 0)
    s.nasm_timeout_ms = static_cast<int>(std::min<int64_t>(ms.get<int64_t>(), 600000));
}

bool rounds_on(const server& s) { return s.wake >= 0 && s.assemble && !s.nasm_gone && !s.shut; }

// The file a file: URI names, its %XX escapes undone; empty for another URI.
static std::string path_of(std::string_view uri) {
  if (!uri.starts_with("file://")) return {};
  uri.remove_prefix(7);
  if (uri.starts_with("localhost/")) uri.remove_prefix(9);
  if (!uri.starts_with("/")) return {};
  std::string p;
  const auto hex = [](char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                          : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
  };
  for (size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] == '%' && i + 2 < uri.size() && hex(uri[i + 1]) >= 0 && hex(uri[i + 2]) >= 0) {
      p += static_cast<char>(hex(uri[i + 1]) * 16 + hex(uri[i + 2]));
      i += 2;
    } else {
      p += uri[i];
    }
  }
  // A name with a line end or a NUL in it could not stand in a %line directive.
  if (std::any_of(p.begin(), p.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
    return {};
  return p;
}

std::string line_name_of(std::string_view uri) {
  const std::string p = path_of(uri);
  const std::string base = p.substr(p.rfind('/') + 1);
  return base.empty() ? "document.s" : base;
}

static void* assemble_round(void* arg) {
  nasm_round& r = *static_cast<nasm_round*>(arg);
  if (!r.path.empty()) r.opts.args = project_args(r.path);
  r.got = assemble(r.translation, r.name, r.opts);
  r.done = true;
  write_all(r.wake, "x");
  return nullptr;
}

static void log_message(server& s, int type, const std::string& text) {
  if (text == s.logged) return;
  s.logged = text;
  const json m = {{"jsonrpc", "2.0"},
                  {"method", "window/logMessage"},
                  {"params", {{"type", type}, {"message", text}}}};
  put_frame(s.out, m.dump(-1, ' ', false, json::error_handler_t::replace));
}

void begin_round(server& s, doc& d) {
  if (!rounds_on(s) || d.res.status != 0 || d.line_name.empty()) return;
  drop_round(s, d.uri);
  auto r = std::make_unique<nasm_round>();
  r->uri = d.uri;
  r->version = d.version;
  r->check = d.checks;
  r->path = path_of(d.uri);
  r->name = d.line_name;
  r->translation = std::move(d.res.lines);
  r->opts.path = s.nasm_path;
  r->opts.timeout_ms = s.nasm_timeout_ms;
  r->wake = s.wake;
  if (pipe2(r->stop, O_CLOEXEC) != 0) {
    log_message(s, 2, "NASM's verdict is left out: no pipe to stop it through");
    return;
  }
  r->opts.stop_fd = r->stop[0];
  if (pthread_create(&r->worker, nullptr, assemble_round, r.get()) != 0) {
    log_message(s, 2, "NASM's verdict is left out: no thread to run it on");
    return;
  }
  r->running = true;
  s.rounds.push_back(std::move(r));
}

void drop_round(server& s, std::string_view uri) {
  std::erase_if(s.rounds, [&](const std::unique_ptr<nasm_round>& r) { return r->uri == uri; });
}

void drop_rounds(server& s) { s.rounds.clear(); }

// NASM's verdict on `d`, published with the core's diagnostics before it.
static void finish(server& s, nasm_round& r, doc& d) {
  const nasm_verdict& v = r.got;
  if (!v.ran) {
    if (v.missing) {
      // Not there: not looked for again, and no translation built for it.
      s.nasm_gone = true;
      for (auto& [uri, each] : s.docs) each.line_name.clear();
      log_message(s, 3,
                  s.nasm_path.empty()
                      ? "nasm is not on PATH: the diagnostics leave NASM's verdict out "
                        "(initializationOptions.nasm names the NASM to run)"
                      : v.note);
    } else {
      log_message(s, 2, v.note);
    }
    return;
  }
  s.logged.clear();
  d.nasm = nasm_diags(v, d.text, r.translation);
  send_published(s, d);
}

void take_rounds(server& s) {
  if (s.wake < 0) return;
  for (size_t i = 0; i < s.rounds.size();) {
    nasm_round& r = *s.rounds[i];
    if (!r.done) {
      ++i;
      continue;
    }
    pthread_join(r.worker, nullptr);
    r.running = false;
    const auto it = s.docs.find(r.uri);
    // A change or a close drops the document's round, so a round that is done is of the text
    // the document has; the version and check are compared all the same.
    if (it != s.docs.end() && !s.shut && it->second.version == r.version &&
        it->second.checks == r.check && !it->second.dirty)
      finish(s, r, it->second);
    s.rounds.erase(s.rounds.begin() + static_cast<std::ptrdiff_t>(i));
  }
}
