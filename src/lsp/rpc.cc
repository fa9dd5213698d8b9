// The protocol's side: JSON-RPC requests and notifications and the server's lifecycle; the
// requests on a document are answered by the rows of feature_table() (features.cc).
#include "lsp/lsp.h"
#include "out/out.h"
#include "scan/scan.h"

#ifndef NESTASM_VERSION
#define NESTASM_VERSION "0"
#endif

const json& get(const json& o, const char* k) {
  static const json none;
  if (!o.is_object()) return none;
  const auto it = o.find(k);
  return it == o.end() ? none : *it;
}

// --- messages ---------------------------------------------------------------------------------


static void send(server& s, const json& m) {
  put_frame(s.out, m.dump(-1, ' ', false, json::error_handler_t::replace));
}

static void reply_text(server& s, const json& id, std::string& result) {
  const std::string start = "{\"jsonrpc\":\"2.0\",\"id\":" + id.dump() + ",\"result\":";
  result += '}';
  const std::string frame = "Content-Length: " +
                            std::to_string(result.size() - head + start.size()) + "\r\n\r\n" +
                            start;
  if (frame.size() > head) {
    result.replace(0, head, frame);
  } else {
    // No copy of the answer: the room before it is taken off, and it becomes the output.
    result.erase(0, head - frame.size());
    result.replace(0, frame.size(), frame);
  }
  if (s.out.empty())
    s.out.swap(result);
  else
    s.out += result;
}

static void reply(server& s, const json& id, json result) {
  send(s, {{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}});
}

static void fail(server& s, const json& id, int code, std::string message) {
  send(s, {{"jsonrpc", "2.0"},
           {"id", id},
           {"error", {{"code", code}, {"message", std::move(message)}}}});
}

static void notify(server& s, const char* method, json params) {
  send(s, {{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}});
}

// What a closed document or a large message left behind goes back to the system; not done for
// small messages.
static void give_back(server& s) {
  if (s.docs.empty()) {
    file_lines = {};
    out_thing.release();
  }
  give_back_heap();
}

void send_published(server& s, const doc& d) {
  static std::string m;  // keeps its room from one document to the next
  m = R"({"jsonrpc":"2.0","method":"textDocument/publishDiagnostics","params":{"uri":)";
  json_string(m, d.uri);
  m += ",\"version\":" + std::to_string(d.version) + ",\"diagnostics\":";
  put_diagnostics(m, s, d);
  m += "}}";
  put_frame(s.out, m);
  // Its room is kept for the next document, unless a huge one took it.
  if (m.capacity() > room_kept) std::string().swap(m);
}

// The core's diagnostics at once; NASM's, when the server assembles, in a round after them.
static void send_diagnostics(server& s, doc& d) {
  analyse(d);
  send_published(s, d);
  d.unpublished = false;
  begin_round(s, d);
}

void publish(server& s) {
  for (auto& [uri, d] : s.docs)
    if (d.unpublished) send_diagnostics(s, d);
}



static bool has(const json& list, const char* v) {
  if (!list.is_array()) return false;
  for (const json& x : list)
    if (x.is_string() && x == v) return true;
  return false;
}

bool read_pos(const json& p, pos& at) {
  const json& l = get(p, "line");
  const json& c = get(p, "character");
  if (!l.is_number_integer() || !c.is_number_integer()) return false;
  at.line = l.get<int64_t>();
  at.ch = c.get<int64_t>();
  return at.line >= 0 && at.ch >= 0;
}

static doc* find_doc(server& s, const json& p) {
  const json& uri = get(get(p, "textDocument"), "uri");
  if (!uri.is_string()) return nullptr;
  const auto it = s.docs.find(uri.get_ref<const std::string&>());
  return it == s.docs.end() ? nullptr : &it->second;
}






static json capabilities(const server& s) {
  json c = {{"positionEncoding", s.utf8 ? "utf-8" : "utf-16"},
            {"textDocumentSync", {{"openClose", true}, {"change", 1}}}};
  for (const feature& f : feature_table())
    if (f.capability) c[f.capability] = json::parse(f.value);
  return c;
}
static answer initialize(server& s, const json& p) {
  if (s.initialized) return error(invalid_request, "initialize was already sent");
  const json& caps = get(p, "capabilities");
  const json& td = get(caps, "textDocument");
  s.utf8 = has(get(get(caps, "general"), "positionEncodings"), "utf-8");
  s.related = get(get(td, "publishDiagnostics"), "relatedInformation") == true;
  s.tree = get(get(td, "documentSymbol"), "hierarchicalDocumentSymbolSupport") == true;
  s.markdown = has(get(get(td, "hover"), "contentFormat"), "markdown");
  read_settings(s, get(p, "initializationOptions"));
  s.initialized = true;
  return {{{"capabilities", capabilities(s)},
           {"serverInfo", {{"name", "nestasm-lsp"}, {"version", NESTASM_VERSION}}}}};
}

static answer on_doc(server& s, const feature& f, const json& p) {
  doc* d = find_doc(s, p);
  if (!d) {
    const json& uri = get(get(p, "textDocument"), "uri");
    if (!uri.is_string()) return error(invalid_params, "textDocument.uri is missing");
    return error(invalid_params, "no open document " + uri.get<std::string>());
  }
  analyse(*d);
  return f.on(s, *d, p);
}

static answer request(server& s, std::string_view method, const json& p) {
  if (method == "initialize") return initialize(s, p);
  if (!s.initialized) return error(not_initialized, "initialize first");
  if (s.shut) return error(invalid_request, "the server is shut down");
  if (method == "shutdown") {
    s.shut = true;
    drop_rounds(s);
    return {nullptr};
  }
  for (const feature& f : feature_table())
    if (method == f.method) return on_doc(s, f, p);
  return error(no_method, "no method " + std::string(method));
}

// The byte offset of the protocol's position `p` in `d`'s text.
static size_t offset(const server& s, const doc& d, const json& p) {
  pos at;
  return read_pos(p, at) ? offset_at(s, d, at) : d.text.size();
}

static void notification(server& s, std::string_view method, json& p) {
  if (method == "exit") {
    s.exit_status = s.shut ? 0 : 1;
    return;
  }
  if (!s.initialized || s.shut) return;
  const json& td = get(p, "textDocument");
  const json& uri = get(td, "uri");
  if (!uri.is_string()) return;
  const std::string& u = uri.get_ref<const std::string&>();
  // The text is taken out of the message, which is ours to change, not copied: a didOpen or
  // didChange holds the whole document.
  auto take = [](const json& text) {
    return std::move(const_cast<json&>(text).get_ref<std::string&>());
  };
  if (method == "textDocument/didOpen") {
    const json& text = get(td, "text");
    if (!text.is_string()) return;
    doc& d = s.docs[u];
    d.uri = u;
    const json& v = get(td, "version");
    d.version = v.is_number_integer() ? v.get<int64_t>() : 0;
    // Opened again without a close between: the round of the text before is out of date.
    drop_round(s, u);
    d.line_name = rounds_on(s) ? line_name_of(u) : std::string();
    set_text(d, take(text));
  } else if (method == "textDocument/didChange") {
    const auto it = s.docs.find(u);
    if (it == s.docs.end()) return;
    doc& d = it->second;
    const json& changes = get(p, "contentChanges");
    if (!changes.is_array()) return;
    // NASM's verdict on the text before would come too late to be of use: it is stopped.
    drop_round(s, u);
    for (const json& c : changes) {
      const json& text = get(c, "text");
      if (!text.is_string()) continue;
      const json& range = get(c, "range");
      if (!range.is_object()) {
        set_text(d, take(text));
        continue;
      }
      // Full changes are asked for; a client that sends a part anyway is understood too.
      size_t b = offset(s, d, get(range, "start")), e = offset(s, d, get(range, "end"));
      if (b > e) std::swap(b, e);
      std::string t = d.text;
      t.replace(b, e - b, text.get_ref<const std::string&>());
      set_text(d, std::move(t));
    }
    if (const json& v = get(td, "version"); v.is_number_integer()) d.version = v.get<int64_t>();
  } else if (method == "textDocument/didClose") {
    drop_round(s, u);
    if (s.docs.erase(u)) {
      notify(s, "textDocument/publishDiagnostics", {{"uri", u}, {"diagnostics", json::array()}});
      give_back(s);
    }
  }
}

void handle(server& s, std::string_view body) {
  json m = json::parse(body, nullptr, false);
  if (m.is_discarded()) return fail(s, nullptr, parse_error, "the message is not JSON");
  if (!m.is_object()) return fail(s, nullptr, invalid_request, "the message is no JSON object");
  const json& method = get(m, "method");
  const auto id_at = m.find("id");
  const bool has_id = id_at != m.end();
  if (has_id && !id_at->is_string() && !id_at->is_number() && !id_at->is_null())
    return fail(s, nullptr, invalid_request, "the id is neither a number nor a string");
  const json id = has_id ? *id_at : json();
  if (!method.is_string()) {
    // An answer to a request of ours: there are none.
    if (has_id && (m.contains("result") || m.contains("error"))) return;
    return fail(s, id, invalid_request, "the message has no method");
  }
  const bool rpc2 = get(m, "jsonrpc") == "2.0";
  json none;
  const auto pit = m.find("params");
  json& params = pit != m.end() ? *pit : none;
  if (!params.is_null() && !params.is_object() && !params.is_array()) {
    if (has_id) fail(s, id, invalid_params, "params is neither an object nor an array");
    return;
  }
  const std::string_view name = method.get_ref<const std::string&>();
  if (!has_id) {
    if (rpc2) notification(s, name, params);
    return;
  }
  if (!rpc2) return fail(s, id, invalid_request, "jsonrpc is not \"2.0\"");
  answer a = request(s, name, params);
  if (a.code)
    fail(s, id, a.code, std::move(a.message));
  else if (!a.text.empty())
    reply_text(s, id, a.text);
  else
    reply(s, id, std::move(a.result));
}

void feed(server& s, std::string_view bytes) {
  // The rest of a message too long to read goes by unkept.
  const size_t skipped = std::min(s.skip, bytes.size());
  s.skip -= skipped;
  bytes.remove_prefix(skipped);
  s.in.append(bytes);
  bool large = false;
  while (s.exit_status < 0) {
    std::string_view body;
    std::string why;
    const frame f = next_frame(s.in, s.at, body, why);
    if (f == frame::more) break;
    if (f == frame::too_big) {
      s.lost = false;
      fail(s, nullptr, invalid_request, why);
      if (s.at > s.in.size()) {
        s.skip = s.at - s.in.size();
        s.at = s.in.size();
      }
      continue;
    }
    if (f == frame::broken) {
      // Reported once for each run of lost bytes.
      if (!s.lost) fail(s, nullptr, parse_error, "the message's header cannot be read: " + why);
      s.lost = true;
      continue;
    }
    s.lost = false;
    large = large || body.size() > room_kept;
    handle(s, body);
  }
  if (s.at == s.in.size()) {
    s.in.clear();
    s.at = 0;
    if (s.in.capacity() > room_kept) std::string().swap(s.in);
  } else if (s.at > (1u << 20)) {
    s.in.erase(0, s.at);
    s.at = 0;
  }
  if (large) give_back(s);
}
