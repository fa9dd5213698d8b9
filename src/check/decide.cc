// The conditions of NASM's %if family, as far as the file and NASM's options decide them: what
// NASM makes of a literal number, string or empty argument is certain; a name may be a macro
// that expands to anything, so a test that depends on what a name expands to stays undecided.
#include "check/run.h"

#include "common/common.h"
#include "cond/cond.h"

namespace {

enum class tok { none, num, str, name, other };

struct token {
  tok kind = tok::none;
  std::string_view text;
};

bool digit(char ch) { return ch >= '0' && ch <= '9'; }

// The token of NASM's at `at` in `s`, blanks before it skipped; `at` moves past it.
token next_token(std::string_view s, size_t& at) {
  while (at < s.size() && (s[at] == ' ' || s[at] == '\t')) ++at;
  token t;
  if (at >= s.size()) return t;
  const size_t from = at;
  const char ch = s[at];
  if (ch == '"' || ch == '\'' || ch == '`') {
    const size_t close = s.find(ch, at + 1);
    at = close == std::string_view::npos ? s.size() : close + 1;
    t.kind = tok::str;
  } else if (digit(ch) || (ch == '$' && at + 1 < s.size() && digit(s[at + 1]))) {
    while (at < s.size() && ident_byte(s[at])) ++at;
    t.kind = tok::num;
  } else if (ident_byte(ch) || ch == '%') {
    // "%1", "%$local" and the like are a macro's: names as much as any.
    ++at;
    while (at < s.size() && ident_byte(s[at])) ++at;
    t.kind = tok::name;
  } else {
    ++at;
    t.kind = tok::other;
  }
  t.text = s.substr(from, at - from);
  return t;
}

std::vector<token> tokens(std::string_view s) {
  std::vector<token> out;
  for (size_t at = 0;;) {
    const token t = next_token(s, at);
    if (t.kind == tok::none) return out;
    out.push_back(t);
  }
}

bool has(const std::vector<token>& ts, tok k) {
  for (const token& t : ts)
    if (t.kind == k) return true;
  return false;
}

// A number token that NASM reads as an integer; a float ("1.5", "1e3") is not one.
bool integer(std::string_view n) {
  if (n.find('.') != std::string_view::npos) return false;
  const bool hex = n.starts_with("0x") || n.starts_with("0X") || n.starts_with("$") ||
                   n.ends_with('h') || n.ends_with('H');
  return hex || n.find_first_of("eE") == std::string_view::npos;
}

// The value of a %if condition when it is a number, or a name the file or the options gave a
// number: 1 or 0; -1 when they do not decide it.
int value_of(const check_run& c, std::string_view e, int hops = 0) {
  if (e.empty()) return -1;
  if (isnum2(e)) {
    const std::optional<int64_t> v = numparse(e);
    return v ? *v != 0 : 1;
  }
  const nasm_def* d = hops < 8 ? def_named(c, e, true) : nullptr;
  if (!d || d->macro || d->maybe) return -1;
  return value_of(c, trimx(d->value), hops + 1);
}

// %ifdef: a single-line macro of the file or of the options. A name that neither defines is
// undefined only when the options are the build's and every %include was read; NASM's own
// names ("__?NASM_MAJOR?__", "__OUTPUT_FORMAT__") all start with "__".
int is_defined(const check_run& c, std::string_view arg) {
  size_t at = 0;
  const token t = next_token(arg, at);
  if (t.kind == tok::none) return 0;
  if (t.kind != tok::name) return -1;
  for (size_t i = c.defs.size(); i-- > 0;) {
    const nasm_def& d = c.defs[i];
    if (!d.macro && calls(d, t.text)) return d.maybe ? -1 : 1;
  }
  for (const nasm_def& d : c.given)
    if (calls(d, t.text)) return 1;
  const bool whole = c.o.nasm_known && !c.unread && c.in_macro == 0;
  return whole && !t.text.starts_with("__") && t.text[0] != '%' ? 0 : -1;
}

// %ifmacro NAME [COUNT]: NASM matches the name in its case, for %imacro too.
int is_macro(const check_run& c, std::string_view arg) {
  size_t at = 0;
  const token t = next_token(arg, at);
  if (t.kind != tok::name) return -1;
  const std::string_view count = trimx(arg.substr(at));
  for (size_t i = c.defs.size(); i-- > 0;) {
    const nasm_def& d = c.defs[i];
    if (!d.macro || d.name != t.text) continue;
    if (d.maybe) return -1;
    if (count.empty()) return 1;
    const std::string_view own = d.value.substr(0, d.value.find_first_of(" \t"));
    return isnum2(count) && own == count ? 1 : -1;
  }
  // Not the file's: NASM's standard macros (struc, istruc ...) are there all the same.
  return -1;
}

// %ifidn A,B: the two token lists, blanks between tokens not counted, strings by their text
// without quotes. Blanks before the comma make NASM's answer false; that is not followed.
int identical(std::string_view arg, bool icase) {
  size_t comma = std::string_view::npos;
  for (size_t at = 0;;) {
    const token t = next_token(arg, at);
    if (t.kind == tok::none) break;
    if (t.text == ",") {
      comma = at - 1;
      break;
    }
  }
  if (comma == std::string_view::npos) return -1;
  const std::string_view a = arg.substr(0, comma), b = arg.substr(comma + 1);
  if (!a.empty() && (a.back() == ' ' || a.back() == '\t')) return -1;
  const std::vector<token> ta = tokens(a), tb = tokens(b);
  if (ta.empty() || tb.empty()) return 0;
  bool same = ta.size() == tb.size();
  for (size_t i = 0; same && i < ta.size(); ++i) {
    std::string_view x = ta[i].text, y = tb[i].text;
    if (ta[i].kind == tok::str && tb[i].kind == tok::str) {
      x = x.substr(1, x.size() - (x.size() > 1 && x.back() == x[0] ? 2 : 1));
      y = y.substr(1, y.size() - (y.size() > 1 && y.back() == y[0] ? 2 : 1));
    } else if (ta[i].kind != tb[i].kind) {
      same = false;
    }
    same = same && (icase ? same_icase(x, y) : x == y);
  }
  if (same) return 1;
  const bool names = has(ta, tok::name) || has(tb, tok::name);
  return names || has(ta, tok::str) || has(tb, tok::str) ? -1 : 0;
}

// %ifnum, %ifstr, %ifid: the kind of the first token; %iftoken: one token; %ifempty: none.
int first_kind(std::string_view form, std::string_view arg) {
  const std::vector<token> ts = tokens(arg);
  if (form == "empty") return ts.empty() ? 1 : has(ts, tok::name) ? -1 : 0;
  if (ts.empty()) return 0;
  if (form == "token") {
    if (has(ts, tok::name)) return -1;
    // "1e+5" may be one token of NASM's.
    for (size_t i = 0; i + 1 < ts.size(); ++i)
      if (ts[i].kind == tok::num && (ts[i + 1].text == "+" || ts[i + 1].text == "-")) return -1;
    return ts.size() == 1;
  }
  size_t i = 0;
  // NASM takes a sign before a number as part of it: "%ifnum -3" holds.
  if (form == "num" && ts.size() > 1 && (ts[0].text == "-" || ts[0].text == "+")) i = 1;
  const token& t = ts[i];
  if (t.kind == tok::name) return -1;
  if (form == "num") return t.kind != tok::num ? 0 : integer(t.text) ? 1 : -1;
  if (form == "str") return t.kind == tok::str;
  return 0;  // "id": a number, a string or an operator first is no name
}

}  // namespace

const nasm_def* def_named(const check_run& c, std::string_view name, bool given) {
  for (size_t i = c.defs.size(); i-- > 0;) {
    const nasm_def& d = c.defs[i];
    if (calls(d, name)) return &d;
  }
  if (given)
    for (const nasm_def& d : c.given)
      if (calls(d, name)) return &d;
  return nullptr;
}

int decide(const check_run& c, std::string_view form, std::string_view arg) {
  // Inside a %macro body NASM decides nothing until the macro is called.
  if (c.in_macro > 0) return -1;
  static constexpr std::string_view forms[] = {"",    "def",   "idn",   "idni",  "num", "str",
                                               "id",  "token", "empty", "macro", "ctx", "env"};
  bool neg = false;
  if (std::find(std::begin(forms), std::end(forms), form) == std::end(forms) &&
      form.starts_with('n')) {
    neg = true;
    form.remove_prefix(1);
  }
  int v = -1;
  if (form.empty()) v = value_of(c, arg);
  else if (form == "def") v = is_defined(c, arg);
  else if (form == "macro") v = is_macro(c, arg);
  else if (form == "idn" || form == "idni") v = identical(arg, form == "idni");
  else if (form == "num" || form == "str" || form == "id" || form == "token" || form == "empty")
    v = first_kind(form, arg);
  // %ifctx and %ifenv: the context stack and the environment of the build are not the file's.
  if (v >= 0 && neg) v = !v;
  return v;
}
