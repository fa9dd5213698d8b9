// Properties every translation must have, whatever bytes it is given; a broken one aborts, which
// the fuzzer records as a finding and the replay as a failed test.
#include "oracle.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "codegen/codegen.h"
#include "out/out.h"
#include "scan/scan.h"

// Present when a sanitizer runtime is linked in; lets its reports bypass the captured fd 2.
extern "C" void __sanitizer_set_report_fd(void* fd) __attribute__((weak));

static int real_err = 2;
static int cap = -1;  // a scratch file that stands in for fd 2 while a translation runs

void oracle_setup() {
  if (cap >= 0) return;
  std::FILE* f = std::tmpfile();
  real_err = dup(2);
  if (!f || real_err < 0) {
    std::perror("oracle setup");
    std::abort();
  }
  cap = fileno(f);
  if (__sanitizer_set_report_fd)
    __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<intptr_t>(real_err)));
}

// Bytes as a reader can see them in a report: escapes for anything unprintable, cut short.
static std::string show(std::string_view s) {
  std::string r;
  for (unsigned char c : s.substr(0, 160)) {
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      r += static_cast<char>(c);
    } else {
      char b[8];
      std::snprintf(b, sizeof b, "\\x%02x", c);
      r += b;
    }
  }
  if (s.size() > 160) r += "...";
  return r;
}

[[noreturn]] static void fail(const char* why, std::string_view what = {}) {
  std::string m = "oracle: ";
  m += why;
  if (!what.empty()) m += ": \"" + show(what) + "\"";
  m += '\n';
  if (write(real_err, m.data(), m.size()) < 0) {
  }
  std::abort();
}

struct outcome {
  int st = 0;
  std::string out;
  std::string err;   // everything written to fd 2
  int64_t at = 0;    // line index the run stopped at
  int64_t made = 0;  // label numbers handed out
  bool operator==(const outcome&) const = default;
};

static outcome translate(std::string_view text) {
  restart();
  file_lines = text;
  if (ftruncate(cap, 0) != 0 || lseek(cap, 0, SEEK_SET) != 0 || dup2(cap, 2) < 0)
    fail("cannot capture standard error");
  outcome r;
  r.st = translate_all();
  if (dup2(real_err, 2) < 0) fail("cannot restore standard error");
  const off_t n = lseek(cap, 0, SEEK_CUR);
  r.err.resize(static_cast<size_t>(n));
  if (n > 0 && pread(cap, r.err.data(), r.err.size(), 0) != n) fail("cannot read captured stderr");
  r.out = out_thing.view();
  r.at = lnum;
  r.made = lbl_n;
  return r;
}

// Input lines as the user wrote them: split at "\n", one "\r" before it taken off.
static std::vector<std::string_view> input_lines(std::string_view t) {
  std::vector<std::string_view> v;
  size_t pos = 0;
  while (pos < t.size()) {
    size_t nl = t.find('\n', pos);
    if (nl == std::string_view::npos) nl = t.size();
    std::string_view l = t.substr(pos, nl - pos);
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    v.push_back(l);
    pos = nl + 1;
  }
  return v;
}

enum kind { plain, k_if, k_elif, k_else, k_while, k_end };

struct line_info {
  kind k = plain;
  std::string_view pass;  // for a plain line, the text it must come out as
};

static bool blank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// What a line is, worked out from the notation's rules independently of the scanner.
static line_info classify(std::string_view l) {
  size_t i = 0;
  while (i < l.size() && (l[i] == '&' || l[i] == ' ')) ++i;
  std::string_view b = l.substr(i);
  while (!b.empty() && blank(b.front())) b.remove_prefix(1);
  while (!b.empty() && blank(b.back())) b.remove_suffix(1);
  if (b.empty() || b[0] == ';') return {plain, l};
  std::string w(b.substr(0, b.find_first_of(" \t")));
  for (char& c : w) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (w == "if") return {k_if, {}};
  if (w == "elif") return {k_elif, {}};
  if (w == "else") return {k_else, {}};
  if (w == "while") return {k_while, {}};
  if (w == "end") return {k_end, {}};
  return {plain, b};
}

static const char* message(int st) {
  switch (st) {
    case 3: return "bad if\n";
    case 4: case 7: case 10: return "imm lhs\n";
    case 5: return "elif bad\n";
    case 6: return "bad elif\n";
    case 8: return "else bad\n";
    case 9: return "bad while\n";
    case 11: return "end bad\n";
    case 12: return "big num\n";
    default: return nullptr;
  }
}

static bool raised_by(int st, kind k) {
  switch (k) {
    case k_if: return st == 3 || st == 4 || st == 12;
    case k_elif: return st == 5 || st == 6 || st == 7 || st == 12;
    case k_else: return st == 8;
    case k_while: return st == 9 || st == 10 || st == 12;
    case k_end: return st == 11;
    default: return false;
  }
}

// main() returns before writing anything when translation fails, so in process the run must
// show it plainly: a statement status, its one message, raised by a statement of that kind.
static void check_failure(const outcome& r, const std::vector<std::string_view>& lines) {
  const char* msg = message(r.st);
  if (!msg) fail("status outside 0 and 3..12");
  if (r.err != msg) fail("stderr is not exactly the status's message", r.err);
  if (r.at < 0 || static_cast<size_t>(r.at) >= lines.size()) fail("failed past the last line");
  const std::string_view l = lines[static_cast<size_t>(r.at)];
  if (!raised_by(r.st, classify(l).k)) fail("status not raised by this kind of line", l);
}

static const std::string_view roles[] = {".if_else_", ".if_end_", ".while_head_", ".while_end_"};
enum role { r_else, r_end, r_head, r_wend };

static bool mnemonic(std::string_view m) {
  static const std::string_view all[] = {"jmp", "jne", "je",  "jl", "jg", "jle",
                                         "jge", "jbe", "jb",  "jae", "ja"};
  for (std::string_view a : all)
    if (m == a) return true;
  return false;
}

// A line the translator makes itself: a compare, a label definition or a jump to a label.
static bool generated(std::string_view o) {
  if (o.starts_with("cmp ")) return true;
  if (o.size() > 1 && o[0] == '.' && o.back() == ':') return true;
  const size_t sp = o.find(' ');
  return sp != std::string_view::npos && mnemonic(o.substr(0, sp)) &&
         o.substr(sp + 1).starts_with(".");
}

struct def {
  role r;
  size_t at;
};

// Label checks; only meaningful when the input itself names no label of these forms.
static void check_labels(const std::vector<std::string_view>& out, int64_t made) {
  std::map<int64_t, def> defs;
  struct ref {
    bool cond;
    role r;
    int64_t n;
    size_t at;
  };
  std::vector<ref> refs;
  for (size_t i = 0; i < out.size(); ++i) {
    const std::string_view o = out[i];
    size_t hit = std::string_view::npos;
    for (std::string_view p : roles) hit = std::min(hit, o.find(p));
    if (hit == std::string_view::npos) continue;
    std::string_view lbl;
    bool is_def = false;
    std::string_view mn;
    if (hit == 0 && o.back() == ':') {
      lbl = o.substr(0, o.size() - 1);
      is_def = true;
    } else {
      mn = o.substr(0, hit);
      if (!mn.ends_with(' ') || !mnemonic(mn.substr(0, mn.size() - 1)))
        fail("label in a line that is no jump", o);
      lbl = o.substr(hit);
    }
    int r = -1;
    for (int k = 0; k < 4; ++k)
      if (lbl.starts_with(roles[k])) r = k;
    const std::string_view num = lbl.substr(roles[r].size());
    if (num.empty() || num.size() > 18 || (num.size() > 1 && num[0] == '0'))
      fail("malformed label number", o);
    int64_t n = 0;
    for (char c : num) {
      if (c < '0' || c > '9') fail("malformed label", o);
      n = n * 10 + (c - '0');
    }
    if (is_def) {
      if (!defs.emplace(n, def{static_cast<role>(r), i}).second)
        fail("label number defined twice", o);
    } else {
      refs.push_back({mn != "jmp ", static_cast<role>(r), n, i});
    }
  }
  // Every number handed out is defined once, and nothing else is.
  if (static_cast<int64_t>(defs.size()) != made || (!defs.empty() && defs.rbegin()->first >= made))
    fail("label numbers made and labels defined differ");
  std::map<int64_t, int> backs;
  for (const ref& f : refs) {
    auto d = defs.find(f.n);
    if (d == defs.end() || d->second.r != f.r) fail("jump to a label never defined", out[f.at]);
    if (f.cond && f.r != r_else && f.r != r_wend)
      fail("conditional jump to a head or end label", out[f.at]);
    if (f.r == r_head) {
      if (f.cond || ++backs[f.n] > 1) fail("loop head jumped to other than once", out[f.at]);
      if (f.at < d->second.at) fail("loop jumps back before its head", out[f.at]);
    }
  }
  for (const auto& entry : defs) {
    const int64_t n = entry.first;
    const def& d = entry.second;
    // if and while take two numbers in a row: else/head first, then end.
    auto partner = [&](int64_t m, role want) {
      auto p = defs.find(m);
      if (p == defs.end() || p->second.r != want) fail("label without its pair", out[d.at]);
      return p->second.at;
    };
    if (d.r == r_end && partner(n - 1, r_else) > d.at)
      fail("if end defined before its else", out[d.at]);
    if (d.r == r_head) {
      if (partner(n + 1, r_wend) < d.at) fail("loop end defined before its head", out[d.at]);
      if (!backs.count(n)) fail("loop without a jump back", out[d.at]);
    }
    if (d.r == r_wend) partner(n - 1, r_head);
  }
}

static void check_success(const outcome& r, std::string_view text,
                          const std::vector<std::string_view>& lines) {
  if (!r.err.empty()) fail("stderr written by a run that succeeded", r.err);
  if (!r.out.empty() && r.out.back() != '\n') fail("last output line not terminated");
  std::vector<std::string_view> out;
  for (size_t pos = 0; pos < r.out.size();) {
    const size_t nl = r.out.find('\n', pos);
    out.push_back(std::string_view(r.out).substr(pos, nl - pos));
    pos = nl + 1;
  }
  int64_t want = 0;
  std::vector<std::string_view> pass;
  for (std::string_view l : lines) {
    const line_info li = classify(l);
    if (li.k == k_if || li.k == k_while) want += 2;
    if (li.k == k_elif) want += 1;
    if (li.k == plain) pass.push_back(li.pass);
  }
  if (r.made != want) fail("label numbers made differ from what if, elif and while take");

  // Every plain line comes out once, in order, as its own line; everything between them is made
  // by the translator. A line split by a stray line feed, or one lost, fails here.
  size_t k = 0;
  for (std::string_view o : out) {
    if (k < pass.size() && o == pass[k]) {
      ++k;
      continue;
    }
    if (!generated(o)) fail("output line that no input line explains", o);
  }
  if (k != pass.size()) fail("input line missing from the output", pass[k]);

  std::string low(text);
  for (char& c : low) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (std::string_view p : roles)
    if (low.find(p) != std::string::npos) return;  // the input names labels itself
  check_labels(out, r.made);
}

// A CRLF copy is only the same text when no line already ends in "\r".
static bool crlf_able(std::string_view t) {
  return t.find("\r\n") == std::string_view::npos && !t.ends_with('\r');
}

static std::string crlf(std::string_view t) {
  std::string c;
  c.reserve(t.size() + t.size() / 8 + 1);
  for (char ch : t) {
    if (ch == '\n') c += '\r';
    c += ch;
  }
  if (!t.empty() && t.back() != '\n') c += '\r';
  return c;
}

void check_input(const uint8_t* data, size_t size) {
  oracle_setup();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const outcome a = translate(text);
  if (!(translate(text) == a)) fail("a second translation of the same input differs");
  if (crlf_able(text)) {
    const std::string c = crlf(text);
    if (!(translate(c) == a)) fail("the CRLF copy translates differently");
  }
  const std::vector<std::string_view> lines = input_lines(text);
  if (a.st == 0)
    check_success(a, text, lines);
  else
    check_failure(a, lines);
  check_agrees(data, size);
}
