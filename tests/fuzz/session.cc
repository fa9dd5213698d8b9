// An editor session from a few bytes. The bytes are a program of four-byte operations: some write
// lines of a document (statements with conditions, markers of any depth, labels, directives,
// blanks, comments, odd bytes, long lines, line ends of every kind), one repeats the operations
// after it, so that a few bytes reach a nest 100,000 blocks deep or a text of megabytes; the rest
// open, change and close the document, ask the server what it answers and apply the edits it
// gives (fixes, levels, formatting, the markers of a line typed). The client side is
// modelled: its text (kept by positions worked out here, not by the server's own conversion),
// the versions it sent and the requests asked. Every message the server writes is checked
// against that model as it arrives.
#include "session.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "common/common.h"
#include "lsp/lsp.h"

namespace {

// Bounds on one session: a document or a change of 4 MiB or 100,000 lines (written in one go;
// edits may join two), 2 Mi operations run (repeats count each time round), 512 messages, and
// 48 MiB of text that the server may have to check, summed over the messages.
constexpr size_t max_text = size_t{4} << 20;
constexpr size_t max_lines = 100000;
constexpr size_t max_steps = size_t{2} << 20;
constexpr size_t max_messages = 512;
constexpr size_t max_work = size_t{48} << 20;
constexpr size_t max_nest = 4;  // repeats inside repeats

// --- the program ------------------------------------------------------------------------------

enum code : uint8_t {
  op_if,
  op_elif,
  op_else,
  op_while,
  op_end,
  op_plain,
  op_label,
  op_blank,
  op_comment,
  op_directive,
  op_depth,
  op_style,
  op_odd,
  op_long,
  op_raw,
  op_repeat,
  op_open,
  op_full,
  op_change,
  op_delete,
  op_publish,
  op_request,
  op_close,
  op_fix,
  op_shutdown,
  op_switch,
  op_noeol,
  op_count,
};

struct op {
  uint8_t code = 0, a = 0, b = 0, c = 0;
  std::string_view raw;  // op_raw: the bytes that follow it
};

std::vector<op> decode(std::string_view p) {
  std::vector<op> ops;
  auto at = [&](size_t i) { return i < p.size() ? static_cast<uint8_t>(p[i]) : uint8_t{0}; };
  for (size_t i = 0; i < p.size();) {
    op o;
    const uint8_t c = at(i) % 32;
    // The codes past the last one are the lines written most, again: a byte picked at random
    // writes a line more often than it acts.
    static const uint8_t again[] = {op_if, op_plain, op_end, op_blank, op_while};
    o.code = c < op_count ? c : again[c - op_count];
    o.a = at(i + 1);
    o.b = at(i + 2);
    o.c = at(i + 3);
    i += 4;
    if (o.code == op_raw) {
      const size_t n = std::min<size_t>(o.a % 64, i < p.size() ? p.size() - i : 0);
      o.raw = p.substr(std::min(i, p.size()), n);
      i += n;
    }
    ops.push_back(o);
  }
  return ops;
}

// --- text: UTF-8, JSON strings, positions -----------------------------------------------------

// The length of the well-formed UTF-8 sequence at `i`, or 0.
size_t utf8_at(std::string_view s, size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) return 1;
  const size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  const unsigned char lo = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
  const unsigned char hi = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
  for (size_t k = 1; k < n; ++k) {
    const unsigned char x = static_cast<unsigned char>(s[i + k]);
    if (k == 1 ? x < lo || x > hi : (x & 0xC0) != 0x80) return 0;
  }
  return n;
}

bool valid_utf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const size_t n = utf8_at(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

// What an editor sends for bytes that are not UTF-8: U+FFFD for each.
std::string mended(std::string_view s) {
  std::string r;
  r.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const size_t n = utf8_at(s, i);
    if (n == 0) {
      r += "\xEF\xBF\xBD";
      ++i;
    } else {
      r.append(s.substr(i, n));
      i += n;
    }
  }
  return r;
}

// `s` as a JSON string, its bytes as they are: JSON that is no longer valid when they are not
// UTF-8, as a careless client would send it.
void quote(std::string& o, std::string_view s) {
  static const char hex[] = "0123456789abcdef";
  o += '"';
  for (const char ch : s) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      o += '\\';
      o += ch;
    } else if (c < 0x20) {
      o += "\\u00";
      o += hex[c >> 4];
      o += hex[c & 15];
    } else {
      o += ch;
    }
  }
  o += '"';
}

// Line `i` of `t`, whose lines start at `starts` (one more for the end of the text), without
// its line end.
static std::string_view cut(std::string_view t, const std::vector<size_t>& starts, int64_t i) {
  if (i < 0 || i + 1 >= static_cast<int64_t>(starts.size())) return {};
  size_t b = starts[static_cast<size_t>(i)], e = starts[static_cast<size_t>(i) + 1];
  if (e > b && t[e - 1] == '\n') --e;
  if (e > b && t[e - 1] == '\r') --e;
  return t.substr(b, e - b);
}

// The lines of a server's document as the protocol counts them.
static int64_t protocol_lines(const doc& d) {
  return d.proto.empty() ? line_count(d) : static_cast<int64_t>(d.proto.size()) - 1;
}

// The client's view of a text's lines, cut as the protocol cuts them: at "\n", "\r\n" or a
// lone "\r".
struct lines {
  std::vector<size_t> starts;  // one more for the end of the text
  explicit lines(std::string_view t = {}) {
    for (size_t i = 0; i < t.size();) {
      starts.push_back(i);
      const size_t e = t.find_first_of("\r\n", i);
      const bool crlf = e != std::string_view::npos && t[e] == '\r' && e + 1 < t.size() &&
                        t[e + 1] == '\n';
      i = e == std::string_view::npos ? t.size() : e + (crlf ? 2 : 1);
    }
    starts.push_back(t.size());
  }
  int64_t count() const { return static_cast<int64_t>(starts.size()) - 1; }
  std::string_view line(std::string_view t, int64_t i) const { return cut(t, starts, i); }
};

// The protocol's column of byte `b` of a line that is UTF-8, or -1 when it is not, or `b` cuts a
// character.
int64_t units_of(std::string_view l, size_t b, bool utf8) {
  int64_t u = 0;
  size_t i = 0;
  while (i < b) {
    const size_t n = utf8_at(l, i);
    if (n == 0 || i + n > b) return -1;
    u += utf8 ? static_cast<int64_t>(n) : n == 4 ? 2 : 1;
    i += n;
  }
  return u;
}

// The byte a column falls on in a line that is UTF-8, or npos when the line is not: a column
// inside a character is taken to its start, one past the end to the end.
size_t byte_at(std::string_view l, int64_t ch, bool utf8) {
  if (!valid_utf8(l)) return std::string_view::npos;
  int64_t u = 0;
  size_t i = 0;
  while (i < l.size()) {
    const size_t n = utf8_at(l, i);
    const int64_t w = utf8 ? static_cast<int64_t>(n) : n == 4 ? 2 : 1;
    if (u + w > ch) break;
    u += w;
    i += n;
  }
  if (utf8 && ch > u && i < l.size()) return std::string_view::npos;  // a byte inside one
  return i;
}

// --- the document's writer --------------------------------------------------------------------

const char* const operands[16] = {"eax", "ebx",  "ecx", "1",     "0",     "10h",
                                  "0x10", "-1",  "5",   "[ebx]", "byte [esi+4]",
                                  "SMALL", "DEBUG", "'a'", "99999999999999999999", ""};
const char* const operators[16] = {"==",  "!=",  ">=",  "<=", "UGT",          "UGE",
                                   "ULT", "ULE", ">",   "<",  "ult",          "=",
                                   "\xE2\x89\xA0", "=>", "&&", "== 1 and ebx =="};
const char* const plains[16] = {"nop",
                                "inc ebx",
                                "dec ecx",
                                "mov eax, 1 ; note",
                                "jmp next",
                                "call f",
                                "db 'if eax == 1', 0",
                                "ret",
                                "mov [ebx], eax",
                                "jne .if_else_0",
                                "cmp eax, 1",
                                "push eax",
                                "int 80h",
                                "times 4 nop",
                                "lea esi, [esi+1]",
                                "if(eax==1)"};
const char* const labels[16] = {"f:",    "next:",  ".loc:",      "end:",     "loop:",
                                "x: if eax ult 5", "main: nop", "data: db 1", "if:",
                                "_start:", "a.b:", "L1:", "else:", ".next:", "next: nop", "while:"};
const char* const directives[16] = {"%if 1 \\",     "    && 0",      "%endif",     "%define SMALL 1",
                                    "%ifdef SMALL", "%else",         "%macro END 0", "%endmacro",
                                    "%if 0",        "%elif 1",       "%define DEBUG 0",
                                    "%include \"x.inc\"", "%ifndef SMALL", "%rep 4", "%endrep",
                                    "%macro IF 1"};
// Characters of two, three and four bytes; bytes that are no UTF-8 (a lone lead or continuation,
// a surrogate, an overlong form, one past U+10FFFF); NUL, a bare CR, a byte-order mark.
const std::string_view odds[16] = {"\xC3\xA9", "\xE2\x89\xA0", "\xF0\x9D\x84\x9E", "\xFF",
                                   "\xC3", "\xED\xA0\x80", "\xC0\x80", std::string_view("\0", 1),
                                   "\t", "\r", "\x0B", "\xE2\x82",
                                   "\xF4\x90\x80\x80", "\xC3\xBC", "\xEF\xBB\xBF", "\\"};

struct writer {
  std::string text;
  int64_t depth = 0;
  uint8_t markers = 0, eol = 0, kcase = 0;
  size_t written = 0;  // lines, for the mixed line ends
  // For the next line only.
  std::string odd;
  uint8_t odd_at = 0;
  size_t long_n = 0;
  uint8_t long_kind = 0;
  bool no_eol = false;
  bool full = false;  // the bound is reached: nothing more is written

  std::string keyword(std::string_view w) const {
    std::string k(w);
    for (size_t i = 0; i < k.size(); ++i) {
      const bool up = kcase % 4 == 1 || (kcase % 4 == 2 && i == 0) || (kcase % 4 == 3 && i % 2);
      if (up && k[i] >= 'a' && k[i] <= 'z') k[i] = static_cast<char>(k[i] - 'a' + 'A');
    }
    return k;
  }

  std::string prefix() const {
    std::string p;
    const size_t n = static_cast<size_t>(depth);
    switch (markers % 6) {
      case 0:
        for (size_t i = 0; i < n; ++i) p += "& ";
        break;
      case 1:
        p.assign(n, '&');
        if (n) p += ' ';
        break;
      case 2:
        for (size_t i = 0; i < n; ++i) p += " & ";
        break;
      case 3:  // a tab before the markers: they are no markers
        p = "\t";
        for (size_t i = 0; i < n; ++i) p += "& ";
        break;
      case 4:
        p.assign(n, '&');
        if (n) p += '\t';
        break;
      default:
        p = "  ";
        p.append(n, '&');
        p += "  ";
    }
    return p;
  }

  void line(std::string body, bool markers_too = true) {
    if (full) return;
    std::string l = markers_too ? prefix() : std::string();
    if (long_n) {
      static const char* const runs[4] = {"1,", " ", "&", "\xC3\xA9"};
      const std::string_view r = runs[long_kind % 4];
      const size_t used = text.size() + l.size() + body.size() + 64;
      const size_t reps = std::min(long_n, used < max_text ? (max_text - used) / r.size() : 0);
      std::string run;
      run.reserve(reps * r.size());
      for (size_t i = 0; i < reps; ++i) run += r;
      if (long_kind % 4 == 2)
        l = run + " " + l;  // that many markers
      else
        body += long_kind % 4 == 0 ? " db " + run + "0" : run;
      long_n = 0;
    }
    if (!odd.empty()) {
      if (odd_at % 3 == 0)
        l.insert(0, odd);
      else if (odd_at % 3 == 1)
        body.insert(0, odd);
      else
        body += odd;
      odd.clear();
    }
    l += body;
    if (!no_eol) {
      const uint8_t e = eol % 4 == 3 ? static_cast<uint8_t>(written % 3) : eol % 4;
      l += e == 0 ? "\n" : e == 1 ? "\r\n" : "\r";
    }
    no_eol = false;
    if (text.size() + l.size() > max_text || written >= max_lines) {
      full = true;
      return;
    }
    text += l;
    ++written;
  }

  std::string cond(uint8_t a, uint8_t b) const {
    const std::string l = operands[a & 15], r = operands[a >> 4], o = operators[b & 15];
    switch (b >> 4) {
      case 1: return l + o + r;
      case 2: return l + "  " + o + "\t" + r;
      case 3: return l + " " + o + " " + r + " ; ecx == 1";
      case 4: return "(" + l + " " + o + " " + r + ") {";
      case 5: return "";
      case 6: return l;
      default: return l + " " + o + " " + r;
    }
  }
};

// --- the client -------------------------------------------------------------------------------

const char* const uris[2] = {"file:///a.s", "file:///dir/b%20c.s"};

// A request waiting for its answer, and what the answer must be.
struct asked {
  std::string method;
  int code = 0;  // the error expected, or 0 for a result
  size_t doc = 0;
  int64_t line = 0;            // hover, highlight, definition: the line asked about
  int64_t from = 0, to = 0;    // codeAction, rangeFormatting, inlayHint, semanticTokens/range:
                               // the lines of its range; onTypeFormatting: the lines it may edit
  bool quickfix = true;        // codeAction: quick fixes wanted
  bool nothing = false;        // formatting, onTypeFormatting: no edit is due
};

// One document as the client has it.
struct client_doc {
  bool open = false;
  std::string text;
  uint64_t rev = 0, cut_rev = ~uint64_t{0};  // changes of `text`, and the one `cut` is of
  lines cut;
  int64_t version = 0;
  bool changed = false;   // sent since the last publish
  std::vector<int64_t> diag_lines;  // lines of the diagnostics last published
};

struct session {
  server s;
  std::vector<op> ops;
  writer w;
  client_doc docs[2];
  size_t cur = 0;
  bool utf8 = false, tree = false, raw_bytes = false, string_ids = false;
  uint8_t chunk = 0;
  bool shut = false, exited = false;
  int64_t next_id = 1;
  std::map<std::string, asked> pending;  // by the id's JSON
  size_t null_errors = 0;                  // -32700 answers expected for bodies that are no JSON
  json last_actions;                       // the last codeAction's answer
  json last_edits;                         // the last formatting or onTypeFormatting answer
  size_t steps = 0, messages = 0, work = 0;
  std::string failure;
  session_stats st;
  // NESTASM_SESSION_TRACE set: each message and the time the server took for it, on stderr.
  const bool trace = std::getenv("NESTASM_SESSION_TRACE") != nullptr;

  bool ok() const { return failure.empty(); }
  bool spent() const {
    return !ok() || exited || steps >= max_steps || messages >= max_messages || work >= max_work;
  }
  void fail(const std::string& why) {
    if (failure.empty()) failure = why;
  }

  // --- what the server writes ---

  doc* server_doc(size_t k) {
    const auto it = s.docs.find(uris[k]);
    return it == s.docs.end() ? nullptr : &it->second;
  }

  // A position the server wrote: on a line of the document, at most at its end.
  bool check_pos(const json& p, const doc& d, const char* what) {
    const json& l = get(p, "line");
    const json& c = get(p, "character");
    if (!l.is_number_integer() || !c.is_number_integer()) {
      fail(std::string(what) + ": a position without line and character: " + p.dump());
      return false;
    }
    const int64_t line = l.get<int64_t>(), ch = c.get<int64_t>();
    // The protocol's lines, which are the translator's unless a lone "\r" splits one of them.
    const bool same = d.proto.empty();
    const int64_t n = protocol_lines(d);
    const std::string_view at = same ? line_at(d, line) : cut(d.text, d.proto, line);
    const int64_t end = line < n ? col_of(at, std::string_view::npos, utf8) : 0;
    if (line < 0 || line > n || ch < 0 || ch > end) {
      fail(std::string(what) + ": position " + p.dump() + " is outside the document (" +
           std::to_string(n) + " lines, that one " + std::to_string(end) + " long)");
      return false;
    }
    return true;
  }

  static bool before(const json& a, const json& b) {
    const int64_t al = a["line"].get<int64_t>(), bl = b["line"].get<int64_t>();
    return al < bl || (al == bl && a["character"].get<int64_t>() <= b["character"].get<int64_t>());
  }

  bool check_range(const json& r, const doc& d, const char* what) {
    if (!check_pos(get(r, "start"), d, what) || !check_pos(get(r, "end"), d, what)) return false;
    if (!before(r["start"], r["end"])) {
      fail(std::string(what) + ": a range that ends before it starts: " + r.dump());
      return false;
    }
    return true;
  }

  static bool inside(const json& in, const json& out) {
    return before(out["start"], in["start"]) && before(in["end"], out["end"]);
  }

  void on_publish(const json& p) {
    const json& uri = get(p, "uri");
    size_t k = 0;
    while (k < 2 && uri != uris[k]) ++k;
    if (k == 2) return fail("diagnostics published for a document never opened: " + uri.dump());
    client_doc& c = docs[k];
    const json& ds = get(p, "diagnostics");
    if (!ds.is_array()) return fail("published diagnostics that are no array");
    if (!c.open || !server_doc(k)) {
      // What a didClose sends: nothing, and no version.
      if (!ds.empty() || p.contains("version"))
        fail("diagnostics for a closed document: " + p.dump().substr(0, 200));
      return;
    }
    // Published only when the client let the server publish (see burst()), once per burst, and
    // for the version the client last sent: never one that went before.
    if (!c.changed) return fail(std::string("diagnostics published twice, or unasked, for ") + uris[k]);
    c.changed = false;
    const json& v = get(p, "version");
    if (!v.is_number_integer() || v.get<int64_t>() != c.version)
      return fail("diagnostics published for version " + v.dump() + " of " + uris[k] +
                  ", the client's last is " + std::to_string(c.version));
    const doc& d = *server_doc(k);
    c.diag_lines.clear();
    for (const json& g : ds) {
      if (!check_range(get(g, "range"), d, "publishDiagnostics")) return;
      const json& sev = get(g, "severity");
      if (!get(g, "message").is_string() || !(sev == 1 || sev == 2))
        return fail("a diagnostic without message or severity: " + g.dump().substr(0, 300));
      c.diag_lines.push_back(g["range"]["start"]["line"].get<int64_t>());
    }
  }

  void check_symbols(const json& r, const doc& d, size_t k) {
    if (!r.is_array()) return fail("documentSymbol: no array");
    if (!tree) {
      for (const json& x : r) {
        if (!get(x, "name").is_string() || !get(x, "kind").is_number_integer())
          return fail("documentSymbol: a symbol without name or kind");
        if (get(get(x, "location"), "uri") != uris[k])
          return fail("documentSymbol: a location in another document");
        if (!check_range(get(get(x, "location"), "range"), d, "documentSymbol")) return;
      }
      return;
    }
    // The tree, walked without recursion: a nest can be 100,000 deep.
    std::vector<std::pair<const json*, const json*>> todo;  // a symbol and its parent's range
    for (const json& x : r) todo.push_back({&x, nullptr});
    while (!todo.empty() && ok()) {
      const auto [x, up] = todo.back();
      todo.pop_back();
      if (!get(*x, "name").is_string() || !get(*x, "kind").is_number_integer())
        return fail("documentSymbol: a symbol without name or kind");
      const json& range = get(*x, "range");
      const json& sel = get(*x, "selectionRange");
      if (!check_range(range, d, "documentSymbol") || !check_range(sel, d, "documentSymbol"))
        return;
      if (!inside(sel, range))
        return fail("documentSymbol: selectionRange " + sel.dump() + " outside range " + range.dump());
      if (up && !inside(range, *up))
        return fail("documentSymbol: range " + range.dump() + " outside its parent's " + up->dump());
      const json& kids = get(*x, "children");
      if (!kids.is_null() && !kids.is_array()) return fail("documentSymbol: children is no array");
      if (kids.is_array())
        for (const json& k : kids) todo.push_back({&k, &range});
    }
  }

  void check_result(const asked& w, const json& r) {
    const doc* dp = server_doc(w.doc);
    if (w.method == "initialize") {
      if (get(get(r, "capabilities"), "positionEncoding") != (utf8 ? "utf-8" : "utf-16"))
        fail("initialize: the position encoding is not the one the client offered first: " +
             r.dump().substr(0, 300));
      return;
    }
    if (w.method == "shutdown") {
      if (!r.is_null()) fail("shutdown answered with " + r.dump());
      return;
    }
    if (!dp) return fail(w.method + " answered for a document the server does not have");
    const doc& d = *dp;
    const std::string& m = w.method;
    if (m == "textDocument/hover") {
      if (r.is_null()) return;
      const json& v = get(get(r, "contents"), "value");
      if (!v.is_string() || v.get_ref<const std::string&>().empty())
        fail("hover: contents without a value: " + r.dump().substr(0, 300));
    } else if (m == "textDocument/documentHighlight") {
      if (r.is_null()) return;
      if (!r.is_array() || r.empty()) return fail("documentHighlight: no ranges: " + r.dump());
      // The statement's word may stand on an editor line before the one asked: nestasm keeps a
      // lone CR inside its line, the editor starts a line after it.
      int64_t first = w.line;
      {
        std::vector<size_t> starts{0};
        for (size_t i = 0; i < d.text.size(); ++i)
          if (d.text[i] == '\n' || (d.text[i] == '\r' && (i + 1 >= d.text.size() || d.text[i + 1] != '\n')))
            starts.push_back(i + 1);
        while (first > 0 && static_cast<size_t>(first) < starts.size() &&
               d.text[starts[static_cast<size_t>(first)] - 1] == '\r')
          --first;
      }
      bool here = false;
      for (const json& h : r) {
        if (!check_range(get(h, "range"), d, "documentHighlight")) return;
        const int64_t l = h["range"]["start"]["line"].get<int64_t>();
        here = here || (l >= first && l <= w.line);
      }
      if (!here)
        fail("documentHighlight on line " + std::to_string(w.line) + " marks nothing there: " +
             r.dump().substr(0, 300));
    } else if (m == "textDocument/definition") {
      if (r.is_null()) return;
      if (get(r, "uri") != uris[w.doc]) return fail("definition in another document");
      if (!check_range(get(r, "range"), d, "definition")) return;
      if (r["range"]["start"]["line"].get<int64_t>() >= w.line)
        fail("definition of line " + std::to_string(w.line) + " is not before it: " + r.dump());
    } else if (m == "textDocument/foldingRange") {
      if (!r.is_array()) return fail("foldingRange: no array");
      for (const json& f : r) {
        const json &b = get(f, "startLine"), &e = get(f, "endLine");
        if (!b.is_number_integer() || !e.is_number_integer() || b.get<int64_t>() < 0 ||
            b.get<int64_t>() >= e.get<int64_t>() || e.get<int64_t>() >= protocol_lines(d))
          return fail("foldingRange: " + f.dump() + " in a document of " +
                      std::to_string(protocol_lines(d)) + " lines");
      }
    } else if (m == "textDocument/inlayHint") {
      if (!r.is_array()) return fail("inlayHint: no array");
      for (const json& h : r) {
        if (!check_pos(get(h, "position"), d, "inlayHint")) return;
        if (!in_lines(h["position"]["line"].get<int64_t>(), d, w))
          return fail("inlayHint for lines " + std::to_string(w.from) + "-" + std::to_string(w.to) +
                      " at " + h.dump().substr(0, 300));
        const json& l = get(h, "label");
        if (!l.is_string() || l.get_ref<const std::string&>().rfind("closes ", 0) != 0)
          return fail("inlayHint: a label that names nothing: " + h.dump().substr(0, 300));
      }
    } else if (m == "textDocument/semanticTokens/full") {
      check_tokens(r, d, nullptr);
    } else if (m == "textDocument/semanticTokens/range") {
      check_tokens(r, d, &w);
    } else if (m == "textDocument/onTypeFormatting" || m == "textDocument/formatting" ||
               m == "textDocument/rangeFormatting") {
      check_edits(r, d, w);
    } else if (m == "nestasm/translation") {
      check_translation(r, d);
    } else if (m == "textDocument/documentSymbol") {
      check_symbols(r, d, w.doc);
    } else if (m == "textDocument/codeAction") {
      if (!r.is_array()) return fail("codeAction: no array");
      for (const json& a : r) {
        if (!get(a, "title").is_string() || a["title"].get_ref<const std::string&>().empty() ||
            !get(a, "kind").is_string())
          return fail("codeAction: no title or kind: " + a.dump().substr(0, 300));
        if (get(a, "kind") != "quickfix") {
          check_level(a, d, w);
          if (!ok()) return;
          continue;
        }
        if (!w.quickfix) return fail("codeAction: quick fixes where none were asked for");
        const json& ds = get(a, "diagnostics");
        if (!ds.is_array() || ds.size() != 1 || !check_range(get(ds[0], "range"), d, "codeAction"))
          return fail("codeAction: not one diagnostic: " + a.dump().substr(0, 300));
        const int64_t l = ds[0]["range"]["start"]["line"].get<int64_t>();
        if (l < w.from || l > w.to)
          return fail("codeAction for lines " + std::to_string(w.from) + "-" + std::to_string(w.to) +
                      " offers a fix for line " + std::to_string(l));
        const json& es = get(get(get(a, "edit"), "changes"), uris[w.doc]);
        if (!es.is_array() || es.empty()) return fail("codeAction: no edits: " + a.dump().substr(0, 300));
        for (const json& e : es)
          if (!get(e, "newText").is_string() || !check_range(get(e, "range"), d, "codeAction edit"))
            return fail("codeAction: an edit without newText: " + e.dump().substr(0, 300));
      }
      last_actions = r;
    }
  }

  // A line an answer names is one of those the request asked about. The protocol's lines are
  // the translator's, which the server works in, unless a lone "\r" splits one: then only the
  // document bounds the line.
  static bool in_lines(int64_t line, const doc& d, const asked& w) {
    return !d.proto.empty() || (line >= w.from && line <= w.to);
  }

  // Semantic tokens: five counts each, each token on a line of the document, within it, after
  // the one before; those of a range on its lines.
  void check_tokens(const json& r, const doc& d, const asked* range) {
    const json& data = get(r, "data");
    if (!data.is_array() || data.size() % 5 != 0) return fail("semanticTokens: no data");
    int64_t line = 0, ch = 0;
    for (size_t i = 0; i < data.size(); i += 5) {
      for (size_t k = 0; k < 5; ++k)
        if (!data[i + k].is_number_integer() || data[i + k].get<int64_t>() < 0)
          return fail("semanticTokens: not a count at " + std::to_string(i + k));
      ch = data[i] == 0 ? ch + data[i + 1].get<int64_t>() : data[i + 1].get<int64_t>();
      line += data[i].get<int64_t>();
      if (i > 0 && data[i] == 0 && data[i + 1] == 0)
        return fail("semanticTokens: two tokens at one place, line " + std::to_string(line));
      if (!check_pos(json{{"line", line}, {"character", ch + data[i + 2].get<int64_t>()}}, d,
                     "semanticTokens"))
        return;
      if (range && !in_lines(line, d, *range))
        return fail("semanticTokens/range for lines " + std::to_string(range->from) + "-" +
                    std::to_string(range->to) + " has a token on line " + std::to_string(line));
    }
  }

  // A line without its markers and blanks: what formatting and typing leave as it stands.
  static std::string squeezed(std::string_view l) {
    std::string r;
    for (const char c : l)
      if (c != '&' && !is_space(static_cast<unsigned char>(c))) r += c;
    return r;
  }

  // The edits of formatting and of a line typed: each within one line of those asked about,
  // none over another, changing markers and blanks alone (no line end: the lines stay the lines).
  void check_edits(const json& r, const doc& d, const asked& w) {
    const std::string& m = w.method;
    if (!r.is_array()) return fail(m + ": no array");
    if (w.nothing && !r.empty())
      return fail(m + ": edits where none are due (a character that changes nothing, or a text the "
                  "same request just put right): " + r.dump().substr(0, 300));
    std::vector<const json*> by_start;
    for (const json& e : r) {
      const json& t = get(e, "newText");
      if (!t.is_string() || !check_range(get(e, "range"), d, m.c_str()))
        return fail(m + ": an edit without newText or range: " + e.dump().substr(0, 300));
      const int64_t l = e["range"]["start"]["line"].get<int64_t>();
      // Within a line of the translator's, a lone "\r" the formatter trims as a blank ends a
      // line of the editor's: there alone an edit spans lines.
      const bool one = e["range"]["end"]["line"] == l;
      if ((!one && d.proto.empty()) || !in_lines(l, d, w))
        return fail(m + " for lines " + std::to_string(w.from) + "-" + std::to_string(w.to) +
                    " edits " + e.dump().substr(0, 300));
      // Applied to the client's line, it changes markers and blanks alone. (A line that is not
      // UTF-8 has no columns the client can cut at.)
      const std::string_view old = lines_of(w.doc).line(docs[w.doc].text, l);
      const size_t b = byte_at(old, e["range"]["start"]["character"].get<int64_t>(), utf8);
      const size_t x = byte_at(old, e["range"]["end"]["character"].get<int64_t>(), utf8);
      if (one && b != std::string_view::npos && x != std::string_view::npos && b <= x &&
          squeezed(old) != squeezed(std::string(old.substr(0, b)) + t.get<std::string>() +
                                    std::string(old.substr(x))))
        return fail(m + ": an edit that changes more than markers and blanks of " +
                    json(std::string(old)).dump() + ": " + e.dump().substr(0, 300));
      if (t.get_ref<const std::string&>().find_first_of("\r\n") != std::string::npos)
        return fail(m + ": an edit that writes a line end: " + e.dump().substr(0, 300));
      by_start.push_back(&e);
    }
    std::sort(by_start.begin(), by_start.end(), [](const json* x, const json* y) {
      return !before((*y)["range"]["start"], (*x)["range"]["start"]);
    });
    for (size_t i = 1; i < by_start.size(); ++i)
      if (!before((*by_start[i - 1])["range"]["end"], (*by_start[i])["range"]["start"]) ||
          (*by_start[i - 1])["range"]["end"] == (*by_start[i])["range"]["start"])
        return fail(m + ": edits that overlap or touch: " + r.dump().substr(0, 300));
    last_edits = r;
  }

  // The translation: its text, and for each of the translator's lines where its output starts,
  // ascending, with one more for the end of the text; where it stopped, a line of the document
  // and the translator's words for why.
  void check_translation(const json& r, const doc& d) {
    const json& text = get(r, "text");
    const json& starts = get(r, "starts");
    if (!text.is_string() || !starts.is_array())
      return fail("nestasm/translation: no text or starts: " + r.dump().substr(0, 300));
    const int64_t n = line_count(d);
    if (static_cast<int64_t>(starts.size()) != n + 1)
      return fail("nestasm/translation: " + std::to_string(starts.size()) + " starts for " +
                  std::to_string(n) + " lines");
    const std::string& t = text.get_ref<const std::string&>();
    const int64_t out = std::count(t.begin(), t.end(), '\n');
    if (!t.empty() && t.back() != '\n') return fail("nestasm/translation: a last line without its end");
    int64_t prev = 0;
    for (const json& x : starts) {
      if (!x.is_number_integer() || x.get<int64_t>() < prev || x.get<int64_t>() > out)
        return fail("nestasm/translation: starts " + starts.dump().substr(0, 300) + " for " +
                    std::to_string(out) + " output lines");
      prev = x.get<int64_t>();
    }
    if (prev != out) return fail("nestasm/translation: the last start is not the end of the text");
    const json& stop = get(r, "stopped");
    const json& why = get(r, "message");
    if (stop.is_null() != why.is_null() || stop.is_null() != (d.res.status == 0))
      return fail("nestasm/translation: stopped and message with status " +
                  std::to_string(d.res.status) + ": " + r.dump().substr(0, 300));
    if (!stop.is_null() && (!stop.is_number_integer() || stop.get<int64_t>() < 0 ||
                            stop.get<int64_t>() >= std::max<int64_t>(n, 1) || !why.is_string() ||
                            why.get_ref<const std::string&>().empty()))
      return fail("nestasm/translation: a stop that is no line with a message: " + r.dump().substr(0, 300));
  }

  // A level action: edits of the lines of the range alone, and no diagnostic.
  void check_level(const json& a, const doc& d, const asked& w) {
    const std::string& kind = a["kind"].get_ref<const std::string&>();
    if (kind != "refactor.rewrite.deeper" && kind != "refactor.rewrite.shallower")
      return fail("codeAction: a kind of no action of the server: " + a.dump().substr(0, 300));
    if (a.contains("diagnostics")) return fail("codeAction: a level with diagnostics");
    const json& es = get(get(get(a, "edit"), "changes"), uris[w.doc]);
    if (!es.is_array() || es.empty()) return fail("codeAction: no edits: " + a.dump().substr(0, 300));
    for (const json& e : es) {
      if (!get(e, "newText").is_string() || !check_range(get(e, "range"), d, "level edit"))
        return fail("codeAction: an edit without newText: " + e.dump().substr(0, 300));
      const int64_t l = e["range"]["start"]["line"].get<int64_t>();
      if (!in_lines(l, d, w) || e["range"]["end"]["line"] != l)
        return fail("codeAction: a level for lines " + std::to_string(w.from) + "-" +
                    std::to_string(w.to) + " edits " + e.dump().substr(0, 300));
    }
  }

  void on_message(std::string_view body) {
    const json m = json::parse(body, nullptr, false);
    if (m.is_discarded()) return fail("the server wrote a body that is no JSON");
    if (!m.is_object() || get(m, "jsonrpc") != "2.0")
      return fail("the server wrote no JSON-RPC 2.0 object: " + std::string(body.substr(0, 200)));
    if (get(m, "method") == "textDocument/publishDiagnostics") return on_publish(get(m, "params"));
    if (m.contains("method")) return fail("the server sent " + m["method"].dump());
    if (!m.contains("id") || m.contains("result") == m.contains("error"))
      return fail("an answer without id, or with both or neither of result and error: " +
                  std::string(body.substr(0, 200)));
    const json& id = m["id"];
    if (id.is_null()) {
      if (null_errors == 0 || get(m["error"], "code") != -32700)
        return fail("an answer to no request: " + std::string(body.substr(0, 200)));
      --null_errors;
      return;
    }
    const auto it = pending.find(id.dump());
    if (it == pending.end())
      return fail("an answer to a request not sent or answered before: id " + id.dump());
    const asked w = it->second;
    pending.erase(it);
    if (m.contains("error")) {
      const json& code = get(m["error"], "code");
      if (!get(m["error"], "message").is_string() || code != w.code)
        return fail(w.method + " (id " + id.dump() + "): error " + m["error"].dump() +
                    (w.code ? ", not " + std::to_string(w.code) : ", not a result"));
      return;
    }
    if (w.code) return fail(w.method + " (id " + id.dump() + "): a result, not error " + std::to_string(w.code));
    check_result(w, m["result"]);
  }

  // Whole messages, each checked; and nothing half written.
  void drain() {
    size_t at = 0;
    std::string_view body;
    std::string why;
    while (ok() && next_frame(s.out, at, body, why) == frame::message) on_message(body);
    if (ok() && at != s.out.size()) fail("the server's output is not a sequence of whole messages");
    s.out.clear();
  }

  // --- what the client sends ---

  // Frames `body` and feeds it, in pieces as a stream may bring it; every answer it draws must be
  // there when its last byte is in.
  void send(const std::string& body) {
    if (exited) return;
    ++messages;
    std::string f;
    put_frame(f, body);
    const auto t0 = std::chrono::steady_clock::now();
    const size_t small = chunk % 4 == 0 ? f.size() : chunk % 4 == 1 ? 1 : chunk % 4 == 2 ? 7 : 4096;
    size_t at = 0;
    while (at < f.size() && ok()) {
      const size_t n = at < 512 ? small : size_t{1} << 20;
      feed(s, std::string_view(f).substr(at, std::min(n, f.size() - at)));
      at += n;
      drain();
    }
    if (trace) {
      const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
          std::chrono::steady_clock::now() - t0);
      std::fprintf(stderr, "%8lld us  %.160s\n", static_cast<long long>(us.count()),
                   body.substr(0, body.find(",\"text\":")).c_str());
    }
    if (s.exit_status >= 0) exited = true;
    if (ok() && !exited && !pending.empty())
      fail(pending.begin()->second.method + " (id " + pending.begin()->first + ") not answered");
    if (ok() && !exited && null_errors)
      fail("a message that is no JSON was not answered with -32700");
  }

  json new_id() {
    const int64_t n = next_id++;
    return string_ids && n % 2 ? json("r" + std::to_string(n)) : json(n);
  }

  void request(const char* method, json params, asked w) {
    if (exited) return;
    const json id = new_id();
    w.method = method;
    if (shut) w.code = -32600;  // whatever it asks
    pending[id.dump()] = w;
    ++st.requests;
    json m = {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}};
    if (!params.is_null()) m["params"] = std::move(params);
    send(m.dump());
  }

  void notify(const std::string& body) {
    if (!exited) send(body);
  }

  // A text for the wire: mended as an editor would, unless the client sends its bytes as they are.
  std::string wire(const std::string& t, bool& good) const {
    good = true;
    if (!raw_bytes) return mended(t);
    good = valid_utf8(t);
    return t;
  }

  void charge(size_t k) { work += docs[k].text.size() + 1024; }

  // The client's lines of document `k`, found again only when its text changed.
  const lines& lines_of(size_t k) {
    client_doc& c = docs[k];
    if (c.cut_rev != c.rev) {
      c.cut = lines(c.text);
      c.cut_rev = c.rev;
    }
    return c.cut;
  }

  void set(size_t k, std::string t) {
    docs[k].text = std::move(t);
    ++docs[k].rev;
  }

  void open(size_t k, const std::string& text) {
    client_doc& c = docs[k];
    bool good = true;
    std::string t = wire(text, good);
    std::string b = R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":{"uri":)";
    quote(b, uris[k]);
    b += R"(,"languageId":"nestasm","version":)" + std::to_string(c.version + 1) + R"(,"text":)";
    quote(b, t);
    b += "}}}";
    if (!good) ++null_errors;
    ++st.changes;
    charge(k);
    notify(b);
    if (good && !shut) {
      c.open = true;
      set(k, std::move(t));
      c.version += 1;
      c.changed = true;
    }
    compare(k, true);
  }

  // One didChange of the changes given as (range or null, text); `t` is the text they make, as
  // the client works it out, when `predicted`.
  void change(size_t k, const std::vector<std::pair<json, std::string>>& cs, bool predicted,
              std::string t) {
    client_doc& c = docs[k];
    bool good = true;
    std::string b = R"({"jsonrpc":"2.0","method":"textDocument/didChange","params":{"textDocument":{"uri":)";
    quote(b, uris[k]);
    b += R"(,"version":)" + std::to_string(c.version + 1) + R"(},"contentChanges":[)";
    for (size_t i = 0; i < cs.size(); ++i) {
      bool g = true;
      const std::string w = wire(cs[i].second, g);
      good = good && g;
      b += i ? ",{" : "{";
      if (!cs[i].first.is_null()) b += "\"range\":" + cs[i].first.dump() + ",";
      b += "\"text\":";
      quote(b, w);
      b += "}";
    }
    b += "]}}";
    if (!good) ++null_errors;
    ++st.changes;
    charge(k);
    notify(b);
    const bool taken = good && !shut && c.open;
    if (taken) {
      c.version += 1;
      c.changed = c.changed || !cs.empty();
      if (predicted) {
        set(k, std::move(t));
      } else if (const doc* d = server_doc(k)) {
        set(k, d->text);  // the client cannot tell: it goes on from the server's text
      }
    }
    compare(k, predicted || !taken);
  }

  // The server holds the text the client holds.
  void compare(size_t k, bool text_too) {
    const client_doc& c = docs[k];
    const doc* d = server_doc(k);
    if (!ok() || exited) return;
    if (c.open != (d != nullptr))
      return fail(std::string(uris[k]) + (c.open ? " is not open on the server" : " is open on the server"));
    if (!d) return;
    st.bytes = std::max(st.bytes, d->text.size());
    st.lines = std::max(st.lines, static_cast<size_t>(line_count(*d)));
    if (d->version != c.version)
      return fail(std::string("the server has version ") + std::to_string(d->version) + " of " +
                  uris[k] + ", the client sent " + std::to_string(c.version));
    if (text_too && c.text != d->text)
      fail(std::string("the server's text of ") + uris[k] + " (" + std::to_string(d->text.size()) +
           " bytes) is not the client's (" + std::to_string(c.text.size()) + " bytes)");
  }

  // Where the server's diagnostics leave off: the client lets it publish, as it does when the
  // client falls silent.
  void burst() {
    if (exited) return;
    for (size_t k = 0; k < 2; ++k) charge(k);
    publish(s);
    drain();
    for (size_t k = 0; k < 2; ++k)
      if (docs[k].open && docs[k].changed && server_doc(k) && ok())
        fail(std::string("no diagnostics published for the change to ") + uris[k]);
    for (size_t k = 0; k < 2; ++k)
      if (const doc* d = server_doc(k)) {
        size_t deep = 0;
        std::vector<size_t> depth(d->res.blocks.size());
        for (size_t i = 0; i < depth.size(); ++i) {
          const int64_t p = d->res.blocks[i].parent;
          depth[i] = p >= 0 && static_cast<size_t>(p) < i ? depth[static_cast<size_t>(p)] + 1 : 1;
          deep = std::max(deep, depth[i]);
        }
        st.depth = std::max(st.depth, deep);
      }
  }

  // A line of the client's text picked by `a`: from the start, from the end, in proportion, or
  // one that a published diagnostic is on.
  int64_t pick_line(size_t k, uint8_t a) {
    const client_doc& c = docs[k];
    const int64_t n = std::max<int64_t>(lines_of(k).count(), 1);
    const int64_t x = a % 64;
    switch (a >> 6) {
      case 0: return x;
      case 1: return std::max<int64_t>(n - 1 - x, 0);
      case 2: return x * n / 64;
      default:
        if (c.diag_lines.empty()) return x;
        return c.diag_lines[static_cast<size_t>(x) % c.diag_lines.size()];
    }
  }

  // A column on line `line` picked by `b`: a column counted from the start, the end, past the
  // end, or the start of the line's text after its markers.
  int64_t pick_char(size_t k, int64_t line, uint8_t b) {
    const std::string_view l = lines_of(k).line(docs[k].text, line);
    const int64_t x = b % 64;
    switch (b >> 6) {
      case 0: return x;
      case 1: {
        const int64_t end = units_of(l, l.size(), utf8);
        return std::max<int64_t>((end < 0 ? static_cast<int64_t>(l.size()) : end) - x, 0);
      }
      case 2: return 1000000 + x;
      default: {
        const size_t i = l.find_first_not_of("& ");
        const int64_t u = units_of(l, i == std::string_view::npos ? l.size() : i, utf8);
        return u < 0 ? x : u;
      }
    }
  }

  // The byte offset in `t` of a protocol position, as the server is to take it: a line past the
  // last is the end of the text. npos when the line is not UTF-8.
  size_t offset(const std::string& t, const lines& ls, int64_t line, int64_t ch) const {
    if (line >= ls.count()) return t.size();
    const size_t b = byte_at(ls.line(t, line), ch, utf8);
    return b == std::string_view::npos ? b : ls.starts[static_cast<size_t>(line)] + b;
  }

  // Incremental changes, worked out on the client's text first when it can be: each on the text
  // the one before it left.
  void edit(size_t k, const std::vector<std::pair<json, std::string>>& cs) {
    bool predicted = true;
    std::string t = docs[k].text;
    for (const auto& [r, text] : cs) {
      const std::string w = raw_bytes ? text : mended(text);
      if (r.is_null()) {
        t = w;
        continue;
      }
      const lines ls(t);
      size_t b = offset(t, ls, r["start"]["line"].get<int64_t>(), r["start"]["character"].get<int64_t>());
      size_t e = offset(t, ls, r["end"]["line"].get<int64_t>(), r["end"]["character"].get<int64_t>());
      if (b == std::string_view::npos || e == std::string_view::npos) {
        predicted = false;
        break;
      }
      if (b > e) std::swap(b, e);
      t.replace(b, e - b, w);
    }
    change(k, cs, predicted, std::move(t));
  }

  // --- requests ---

  static json position(int64_t line, int64_t ch) { return {{"line", line}, {"character", ch}}; }

  json doc_params(size_t k) const { return {{"textDocument", {{"uri", uris[k]}}}}; }

  asked expect(size_t k) const {
    asked w;
    w.doc = k;
    w.code = docs[k].open ? 0 : -32602;
    return w;
  }

  void at_request(const char* method, size_t k, int64_t line, int64_t ch) {
    json p = doc_params(k);
    p["position"] = position(line, ch);
    asked w = expect(k);
    w.line = line;
    charge(k);
    request(method, std::move(p), w);
  }

  void whole_request(const char* method, size_t k) {
    charge(k);
    request(method, doc_params(k), expect(k));
  }

  void actions(size_t k, int64_t from, int64_t to, bool quickfix) {
    json p = doc_params(k);
    p["range"] = {{"start", position(from, 0)}, {"end", position(to, 0)}};
    p["context"] = {{"diagnostics", json::array()}};
    if (!quickfix) p["context"]["only"] = {"refactor"};
    asked w = expect(k);
    w.from = from;
    w.to = to;
    w.quickfix = quickfix;
    last_actions = json();
    charge(k);
    request("textDocument/codeAction", std::move(p), w);
  }

  void ask(const op& o) {
    const size_t k = cur;
    const int64_t line = pick_line(k, o.b);
    const int64_t ch = pick_char(k, line, o.c);
    const bool then = o.a & 16;  // the edits answered are applied, and asked for again
    switch (o.a % 16) {
      case 0: return at_request("textDocument/hover", k, line, ch);
      case 1: return at_request("textDocument/documentHighlight", k, line, ch);
      case 2: return at_request("textDocument/definition", k, line, ch);
      case 3: return whole_request("textDocument/foldingRange", k);
      case 4: return whole_request("textDocument/documentSymbol", k);
      case 5: return actions(k, line, line + (o.c % 4), true);
      case 6: {
        actions(k, 0, line, false);
        if (!then || !ok() || !last_actions.is_array() || last_actions.empty() || !docs[k].open || shut) return;
        const json& a = last_actions[o.c % last_actions.size()];
        return apply(k, a["edit"]["changes"][uris[k]]);
      }
      case 7: {  // no position
        asked w = expect(k);
        w.code = -32602;
        return request("textDocument/hover", doc_params(k), w);
      }
      case 8: {
        asked w;
        w.code = -32601;
        return request("textDocument/rename", doc_params(k), w);
      }
      case 9: return typed(k, line, ch, o.a & 32 ? "\n" : o.a & 64 ? " " : "e", then);
      case 10: {  // no character
        json p = doc_params(k);
        p["position"] = position(line, ch);
        asked w = expect(k);
        w.code = -32602;
        return request("textDocument/onTypeFormatting", std::move(p), w);
      }
      case 11: return formatting(k, -1, 0, then);
      case 12: return formatting(k, line, line + o.c % 8, then);
      case 13: return lines_request("textDocument/inlayHint", k, line, line + o.c % 16);
      case 14: return lines_request("textDocument/semanticTokens/range", k, line, line + o.c % 16);
      default: return whole_request("nestasm/translation", k);
    }
  }

  // A request about lines `from` to `to`, as a range from the start of one to the start of the
  // other.
  void lines_request(const char* method, size_t k, int64_t from, int64_t to) {
    json p = doc_params(k);
    p["range"] = {{"start", position(from, 0)}, {"end", position(to, 0)}};
    asked w = expect(k);
    w.from = from;
    w.to = to;
    charge(k);
    request(method, std::move(p), w);
  }

  // Character `ch` typed before (line, character): Enter leaves the line above and may move it
  // too; any other character changes nothing. Applied, the same request then has nothing to do.
  void typed(size_t k, int64_t line, int64_t at, const char* ch, bool then) {
    for (int round = 0; round < (then ? 2 : 1) && ok(); ++round) {
      json p = doc_params(k);
      p["position"] = position(line, at);
      p["ch"] = ch;
      p["options"] = {{"tabSize", 8}, {"insertSpaces", true}};
      asked w = expect(k);
      w.from = line - 1;
      w.to = line;
      w.nothing = round > 0 || std::string_view(ch) != "\n";
      last_edits = json();
      charge(k);
      request("textDocument/onTypeFormatting", std::move(p), w);
      // An editor applies any number; past a few, the client's model of the text costs too much.
      if (!ok() || !last_edits.is_array() || last_edits.empty() || last_edits.size() > 64 ||
          !docs[k].open || shut)
        return;
      apply(k, last_edits);
    }
  }

  // The document formatted, or lines `from` to `to` of it (`from` -1: the whole); applied, the
  // same request then has nothing to do.
  void formatting(size_t k, int64_t from, int64_t to, bool then) {
    for (int round = 0; round < (then ? 2 : 1) && ok(); ++round) {
      json p = doc_params(k);
      p["options"] = {{"tabSize", 8}, {"insertSpaces", true}};
      asked w = expect(k);
      w.from = std::max<int64_t>(from, 0);
      w.to = from < 0 ? INT64_MAX : to;
      w.nothing = round > 0;
      if (from >= 0) p["range"] = {{"start", position(from, 0)}, {"end", position(to, 0)}};
      last_edits = json();
      charge(k);
      request(from < 0 ? "textDocument/formatting" : "textDocument/rangeFormatting", std::move(p), w);
      // An editor applies any number; past a few, the client's model of the text costs too much.
      if (!ok() || !last_edits.is_array() || last_edits.empty() || last_edits.size() > 64 ||
          !docs[k].open || shut)
        return;
      apply(k, last_edits);
    }
  }

  // The editor applies a quick fix the server offered, as one didChange.
  void fix(const op& o) {
    const size_t k = cur;
    if (!docs[k].open) return;
    const int64_t line = pick_line(k, static_cast<uint8_t>(o.a | 0xC0));
    actions(k, line, line, true);
    if (!ok() || !last_actions.is_array()) return;
    std::vector<json> fixes;
    for (const json& a : last_actions)
      if (get(a, "kind") == "quickfix") fixes.push_back(a);
    if (fixes.empty()) return;
    apply(k, fixes[o.b % fixes.size()]["edit"]["changes"][uris[k]]);
  }

  // The editor applies edits the server gave for document `k`, as one didChange.
  void apply(size_t k, const json& es) {
    // From the last to the first, so that each range still means what it meant.
    std::vector<json> v(es.begin(), es.end());
    std::stable_sort(v.begin(), v.end(), [](const json& x, const json& y) {
      return !before(x["range"]["start"], y["range"]["start"]);
    });
    std::vector<std::pair<json, std::string>> cs;
    for (const json& e : v) cs.push_back({e["range"], e["newText"].get<std::string>()});
    edit(k, cs);
  }

  json range_at(size_t k, const op& o, int64_t span) {
    const int64_t line = pick_line(k, o.a);
    const int64_t ch = pick_char(k, line, o.b);
    const int64_t end_line = line + span;
    const int64_t end_ch = span ? pick_char(k, end_line, o.c) : ch + (o.c % 8);
    return {{"start", position(line, ch)}, {"end", position(end_line, end_ch)}};
  }

  // --- running the program ---

  std::string take_text() {
    std::string t = std::move(w.text);
    w.text.clear();
    w.written = 0;
    w.full = false;
    return t;
  }

  void run(const op& o) {
    switch (o.code) {
      case op_if:
      case op_while: {
        std::string l = w.keyword(o.code == op_if ? "if" : "while");
        const std::string c = w.cond(o.a, o.b);
        if (!c.empty()) l += (o.c & 1 ? "\t" : " ") + c;
        if (o.c & 2) l += " ; note";
        return w.line(l);
      }
      case op_elif: {
        static const char* const words[4] = {"elif", "elseif", "elsif", "elif"};
        return w.line(w.keyword(words[o.c % 4]) + " " + w.cond(o.a, o.b));
      }
      case op_else: {
        static const char* const forms[4] = {"", " if eax == 1", " ; x", " eax"};
        return w.line(w.keyword("else") + forms[o.a % 4]);
      }
      case op_end: {
        static const char* const forms[6] = {"end", "end ; loop", "endif", "end eax", "endwhile", "end"};
        return w.line(w.keyword(forms[o.a % 6]));
      }
      case op_plain: return w.line(plains[o.a % 16]);
      case op_label: return w.line(labels[o.a % 16], o.b & 1);
      case op_blank: {
        static const char* const forms[4] = {"", "", "   ", "\t \t"};
        return w.line(forms[o.a % 4], o.a % 4 == 1);
      }
      case op_comment: {
        static const char* const forms[4] = {"; note", "  ; note  ", "; x == 1", ";"};
        return w.line(forms[o.a % 4], o.b & 1);
      }
      case op_directive: return w.line(directives[o.a % 16], false);
      case op_depth:
        if (o.a % 3 == 0) w.depth += 1 + o.b % 8;
        else if (o.a % 3 == 1) w.depth = std::max<int64_t>(w.depth - 1 - o.b % 8, 0);
        else w.depth = o.b + 256 * (o.c % 4);
        return;
      case op_style:
        w.markers = o.a;
        w.eol = o.b;
        w.kcase = o.c;
        return;
      case op_odd:
        w.odd = std::string(odds[o.a % 16]);
        w.odd_at = o.b;
        return;
      case op_long:
        w.long_n = size_t{1} << (o.a % 23);
        w.long_kind = o.b;
        return;
      case op_raw:
        if (w.text.size() + o.raw.size() <= max_text) w.text += o.raw;
        return;
      case op_noeol: w.no_eol = true; return;
      case op_switch: cur = 1 - cur; return;
      case op_open: open(cur, take_text()); return;
      case op_full:
        if (o.a & 1) {  // the same text again, as a formatter that changed nothing sends it
          edit(cur, {{json(), docs[cur].text}});
          return;
        }
        edit(cur, {{json(), take_text()}});
        return;
      case op_change: {
        const std::string t = take_text();
        std::vector<std::pair<json, std::string>> cs = {{range_at(cur, o, o.c >> 6), t}};
        if (o.c & 32) cs.push_back({range_at(cur, o, 0), "\n"});
        edit(cur, cs);
        return;
      }
      case op_delete: edit(cur, {{range_at(cur, o, 1 + o.c % 4), ""}}); return;
      case op_publish: burst(); return;
      case op_request: ask(o); return;
      case op_close: {
        client_doc& c = docs[cur];
        std::string b = R"({"jsonrpc":"2.0","method":"textDocument/didClose","params":{"textDocument":{"uri":)";
        quote(b, uris[cur]);
        b += "}}}";
        if (!shut) {
          c.open = false;
          c.changed = false;
          c.diag_lines.clear();
        }
        notify(b);
        compare(cur, true);
        return;
      }
      case op_fix: fix(o); return;
      case op_shutdown:
        request("shutdown", json(), asked{});
        shut = true;
        return;
      default: return;
    }
  }

  // Runs ops [b, e); a repeat takes the ops after it as its body.
  void exec(size_t b, size_t e, size_t nest) {
    for (size_t i = b; i < e && !spent(); ++i) {
      const op& o = ops[i];
      ++steps;
      if (o.code != op_repeat) {
        run(o);
        continue;
      }
      const size_t count = (size_t{1} + (o.a & 3)) << ((o.a >> 2) % 18);
      const size_t end = std::min(e, i + 2 + o.b % 8);
      if (nest < max_nest)
        for (size_t r = 0; r < count && !spent() && !w.full; ++r) exec(i + 1, end, nest + 1);
      i = end - 1;
    }
  }

  // Everything the server answers, on each document open at the end, then shutdown and exit.
  void finish() {
    burst();
    for (size_t k = 0; k < 2 && ok() && !exited; ++k) {
      if (!docs[k].open) continue;
      whole_request("textDocument/documentSymbol", k);
      whole_request("textDocument/foldingRange", k);
      whole_request("textDocument/semanticTokens/full", k);
      const int64_t n = lines(docs[k].text).count();
      lines_request("textDocument/inlayHint", k, 0, n);
      whole_request("nestasm/translation", k);
      lines_request("textDocument/semanticTokens/range", k, n / 2, n);
      formatting(k, -1, 0, false);
      typed(k, n / 2, 0, "\n", false);
      std::vector<int64_t> at = {0, n / 2, std::max<int64_t>(n - 1, 0), n};
      for (size_t i = 0; i < docs[k].diag_lines.size() && i < 4; ++i) at.push_back(docs[k].diag_lines[i]);
      for (const int64_t l : at) {
        const int64_t ch = pick_char(k, l, 0xC0);
        at_request("textDocument/hover", k, l, ch);
        at_request("textDocument/documentHighlight", k, l, ch);
        at_request("textDocument/definition", k, l, ch);
      }
      const std::vector<int64_t> ds = docs[k].diag_lines;
      for (size_t i = 0; i < ds.size() && i < 16; ++i) actions(k, ds[i], ds[i], true);
      actions(k, 0, std::min<int64_t>(n, 256), true);
    }
    request("shutdown", json(), asked{});
    shut = true;
    notify(R"({"jsonrpc":"2.0","method":"exit"})");
    if (ok() && (!exited || s.exit_status != 0))
      fail("exit after shutdown did not end the session with status 0, but " +
           std::to_string(s.exit_status));
  }
};

}  // namespace

std::string run_session(std::string_view program, session_stats* stats) {
  session x;
  const uint8_t flags = program.empty() ? 0 : static_cast<uint8_t>(program[0]);
  x.utf8 = flags & 1;
  x.tree = flags & 2;
  x.chunk = static_cast<uint8_t>(flags >> 4 & 3);
  x.raw_bytes = flags & 64;
  x.string_ids = flags & 128;
  x.ops = decode(program.substr(program.empty() ? 0 : 1));
  json caps = {{"textDocument",
                {{"publishDiagnostics", {{"relatedInformation", (flags & 4) != 0}}},
                 {"hover", {{"contentFormat", (flags & 8) ? json{"markdown", "plaintext"} : json{"plaintext"}}}},
                 {"documentSymbol", {{"hierarchicalDocumentSymbolSupport", x.tree}}}}}};
  if (x.utf8) caps["general"] = {{"positionEncodings", {"utf-8", "utf-16"}}};
  asked init;
  x.request("initialize", {{"processId", nullptr}, {"capabilities", caps}}, init);
  x.notify(R"({"jsonrpc":"2.0","method":"initialized","params":{}})");
  if (x.ok()) x.exec(0, x.ops.size(), 0);
  // A program that never opened its document opens what it wrote.
  if (x.ok() && !x.shut && !x.docs[0].open && !x.docs[1].open) x.open(x.cur, x.take_text());
  if (x.ok() && !x.exited) x.finish();
  if (stats) *stats = x.st;
  return x.failure;
}
