// NASM's preprocessor, as far as the file itself decides it: the %if regions NASM skips, and the
// names the file defines with %define, %assign, %macro and equ. nestasm reads none of it; the
// checker follows it to tell where a statement stands in text NASM never sees, or where a
// condition names something NASM defines.
#include "check/run.h"

#include <algorithm>

#include "common/common.h"
#include "cond/cond.h"


// The first word of `s` (up to a blank or "("), and the rest, trimmed.
static std::string_view first_word(std::string_view s, std::string_view& rest) {
  size_t w = 0;
  while (w < s.size() && s[w] != ' ' && s[w] != '\t' && s[w] != '(') ++w;
  rest = trimx(s.substr(w));
  return s.substr(0, w);
}

std::string hides(std::string_view src, int64_t line, const line_scan& s) {
  // The directive as written when it is short, `%if 0`; its word when not.
  std::string_view d = scan_line(src).body;
  d = trimx(d.substr(0, comment_at(d)));
  std::string_view rest;
  if (d.size() > 24) d = first_word(d, rest);
  return "the " + quoted(d) + " of line " + num(line + 1) + " hides this " +
         quoted(lowerme(std::string(s.body.substr(0, s.word)))) + " from NASM only";
}

const region* skipped(const check_run& c) {
  return c.skip_from < 0 ? nullptr : &c.regions[static_cast<size_t>(c.skip_from)];
}

// The outermost region whose branch NASM skips, after a change to the regions; the blocks that
// text opened and left open are told of when it ends.
static void follow(check_run& c) {
  int64_t first = -1;
  for (size_t i = 0; i < c.regions.size(); ++i)
    if (c.regions[i].skip) {
      first = static_cast<int64_t>(i);
      break;
    }
  if (c.skip_from >= 0 && first != c.skip_from) {
    skipped_ends(c);
    c.skip_from = -1;
  }
  if (first >= 0 && c.skip_from < 0) {
    c.skip_from = first;
    c.skip_open = c.open.size();
    c.skip_slot = -1;
    c.skip_line = c.ln;
    c.skip_src = c.line;
  }
}

// A branch open now that the file does not decide, or a %macro body: what is defined there
// may or may not be.
static bool unsure(const check_run& c) {
  if (c.in_macro > 0) return true;
  return std::any_of(c.regions.begin(), c.regions.end(), [](const region& r) { return !r.known; });
}

void define(check_run& c, std::string_view w, std::string_view rest, int64_t line,
            std::string_view file, bool maybe) {
  const std::string_view name = first_word(rest, rest);
  if (name.empty()) return;
  const bool macro = w == "macro" || w == "imacro" || w == "rmacro" || w == "irmacro";
  if (macro || w == "define" || w == "xdefine" || w == "idefine" || w == "ixdefine" ||
      w == "assign" || w == "iassign") {
    nasm_def d;
    d.name = name;
    d.value = trimx(rest.substr(0, comment_at(rest)));
    d.line = line;
    d.macro = macro;
    d.icase = w[0] == 'i';
    d.maybe = maybe;
    d.file = file;
    c.defs.push_back(d);
    return;
  }
  const bool un = w == "undef";
  if (!un && w != "unmacro") return;
  for (size_t i = c.defs.size(); i-- > 0;) {
    nasm_def& d = c.defs[i];
    if (d.name != name || d.macro == un) continue;
    // Undefined in a branch NASM may not read: defined or not, as far as the file tells.
    if (maybe) d.maybe = true;
    else c.defs.erase(c.defs.begin() + static_cast<std::ptrdiff_t>(i));
  }
  if (un)
    std::erase_if(c.given, [&](const nasm_def& d) { return d.name == name; });
}

void take_options(check_run& c) {
  if (!c.o.nasm_args) return;
  for (const std::string& a : *c.o.nasm_args) {
    const std::string_view w = a;
    if (w.starts_with("-D") || w.starts_with("-d")) {
      const std::string_view nv = w.substr(2);
      const size_t eq = nv.find('=');
      nasm_def d;
      d.name = nv.substr(0, eq);
      if (eq != std::string_view::npos) d.value = nv.substr(eq + 1);
      d.line = -1;
      if (!d.name.empty()) c.given.push_back(d);
    } else if (w.starts_with("-U") || w.starts_with("-u")) {
      std::erase_if(c.given, [&](const nasm_def& d) { return d.name == w.substr(2); });
    }
  }
}

[[gnu::noinline]] void directive(check_run& c, const line_scan& s) {
  std::string_view rest;
  if (!c.took) {
    c.took = true;
    take_options(c);
  }
  const std::string_view word = first_word(s.body.substr(1), rest);
  if (word.size() < 2 || word.size() > 10) return;
  char lw[10];
  for (size_t i = 0; i < word.size(); ++i) lw[i] = lower(word[i]);
  const std::string_view w(lw, word.size());
  // The condition ends where a comment starts.
  const size_t semi = comment_at(rest);
  const std::string_view arg = trimx(rest.substr(0, semi));
  const bool reading = c.skip_from < 0;
  if (w.starts_with("if")) {
    region r;
    r.line = c.ln;
    r.src = c.line;
    // Inside skipped text nothing is decided, and nothing needs to be: all of it is skipped.
    const int v = reading ? decide(c, w.substr(2), arg) : -1;
    r.known = v >= 0;
    r.taken = v == 1;
    r.skip = v == 0;
    c.regions.push_back(r);
    follow(c);
    return;
  }
  if (w.starts_with("elif") || w == "else") {
    if (c.regions.empty()) return;
    region& r = c.regions.back();
    // Under an outer region NASM skips, every branch of this one is skipped with it.
    if (c.skip_from >= 0 && c.skip_from < static_cast<int64_t>(c.regions.size()) - 1) return;
    int v = -1;
    if (r.taken) v = 0;
    else if (r.known) v = w == "else" ? 1 : decide(c, w.substr(4), arg);
    r.line = c.ln;
    r.src = c.line;
    r.known = r.known && v >= 0;
    r.taken = r.taken || v == 1;
    r.skip = v == 0;
    follow(c);
    return;
  }
  if (w == "endif") {
    if (c.regions.empty()) return;
    c.regions.pop_back();
    follow(c);
    return;
  }
  if (!reading) return;
  if (w == "endmacro" || w == "endm") {
    if (c.in_macro > 0) --c.in_macro;
    return;
  }
  if (w == "include") {
    if (c.in_macro == 0) read_include(c, arg, 0, unsure(c));
    return;
  }
  const bool maybe = unsure(c);
  define(c, w, rest, c.ln, {}, maybe);
  if (w == "macro" || w == "imacro" || w == "rmacro" || w == "irmacro") ++c.in_macro;
}

std::optional<nasm_def> defined(check_run& c, std::string_view name) {
  // A name of an %include'd file is not told by a line of this one.
  if (const nasm_def* d = def_named(c, name, false); d && d->file.empty()) return *d;
  int64_t at = -1;
  bool asked = false;
  for (const auto& [n, l] : c.equs)
    if (n == name) {
      asked = true;
      at = l;
    }
  if (!asked) {
    // `NAME equ VALUE` (or `NAME: equ`) anywhere: NASM takes an equ before or after its use.
    for (size_t p = word_at(c.text, name); p != std::string_view::npos;
         p = word_at(c.text, name, p + 1)) {
      const size_t bol = c.text.rfind('\n', p) + 1;  // npos + 1 is 0
      if (!trimx(c.text.substr(bol, p - bol)).empty()) continue;
      size_t e = p + name.size();
      if (e < c.text.size() && c.text[e] == ':') ++e;
      size_t from = bol;
      const std::string_view line = next_line(c.text, from);
      std::string_view rest;
      const std::string_view kw =
          first_word(trimx(line.substr(std::min(e - bol, line.size()))), rest);
      if (!same_icase(kw, "equ")) continue;
      at = 0;
      for (size_t i = 0; i < bol; ++i) at += c.text[i] == '\n';
      break;
    }
    c.equs.push_back({name, at});
  }
  if (at < 0) return std::nullopt;
  nasm_def d;
  d.name = name;
  d.line = at;
  return d;
}

std::vector<edit> comment_out(const check_run& c, int64_t from, int64_t to) {
  std::vector<edit> fix;
  size_t pos = 0;
  int nest = 0;
  for (int64_t at = 0; pos < c.text.size() && (to < 0 || at < to); ++at) {
    const std::string_view line = next_line(c.text, pos);
    if (at <= from) continue;
    const line_scan s = scan_line(line);
    if (to < 0 && s.kind == stmt::plain && s.body[0] == '%') {
      const std::string w = lowerme(std::string(s.body.substr(0, s.body.find_first_of(" \t"))));
      if (w.starts_with("%if")) ++nest;
      else if (w == "%endif" && nest-- == 0) break;
      else if (nest == 0 && (w.starts_with("%elif") || w == "%else")) break;
    }
    if (s.kind != stmt::plain && s.kind != stmt::blank) fix.push_back(edit{at + 1, 1, 1, ";"});
  }
  return fix;
}

// The directive's word in lower case ("%ifndef"), or empty for a line that is none.
static std::string directive_word(const line_scan& s) {
  if (s.kind != stmt::plain || s.body[0] != '%') return {};
  return lowerme(std::string(s.body.substr(0, s.body.find_first_of(" \t"))));
}

std::vector<std::pair<int64_t, std::string_view>> region_lines(std::string_view text, int64_t at,
                                                               std::string_view src) {
  std::vector<std::pair<int64_t, std::string_view>> out;
  if (!directive_word(scan_line(src)).starts_with("%if")) return out;
  size_t pos = static_cast<size_t>(src.data() - text.data());
  next_line(text, pos);
  int nest = 0;
  for (int64_t l = at + 1; pos < text.size(); ++l) {
    const std::string_view line = next_line(text, pos);
    const std::string w = directive_word(scan_line(line));
    if (w.empty()) continue;
    if (w.starts_with("%if")) {
      ++nest;
    } else if (w == "%endif") {
      if (nest-- == 0) {
        out.push_back({l, line});
        break;
      }
    } else if (nest == 0 && (w.starts_with("%elif") || w == "%else")) {
      out.push_back({l, line});
    }
  }
  return out;
}
