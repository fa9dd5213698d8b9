// The warnings about conditions that split elsewhere than meant, or make a cmp NASM rejects.
// Included by warn.cc, whose table holds the records.
#pragma once

#include "check/run.h"
#include "common/common.h"
#include "cond/cond.h"

// The condition of this line as the translator splits it (the core's split_cond): asked once a
// line, for all the checks that look at it.
static const cond_split& split_of(check_run& c, const line_scan& s) {
  if (c.split_ln == c.ln) return c.split;
  c.split_ln = c.ln;
  c.split = split_cond(s.arg);
  return c.split;
}

using split = cond_split;

// A condition decided now makes no cmp, so what NASM would make of one does not matter.
static bool decided(const split& p) {
  bool truth = false;
  return constcmp(p.lhs, p.op->text, p.rhs, truth) != konst::no;
}

// "`WORD NEW`": the statement as it would read with its condition `cond`.
static std::string with_cond(const line_scan& s, std::string_view cond) {
  return quoted(std::string(word_of(s)) + " " + std::string(cond));
}

[[gnu::noinline]] static bool operator_lookalike_(check_run& c, const line_scan& s, const split& p) {
  const std::optional<lookalike> l = find_lookalike(s.arg);
  if (!l) return false;
  if (!c.on(wname::operator_lookalike)) return true;
  const size_t col = c.col(s.arg) + l->at;
  std::vector<edit> fix = {here(c, col, l->len, std::string(l->meant))};
  std::string why;
  const bool ok = offer(c, wname::operator_lookalike, fix, why);
  const std::string_view wrote = s.arg.substr(l->at, l->len);
  c.warn(wname::operator_lookalike, col, l->len,
         quoted(wrote) + " is no operator: this splits at " + quoted(p.op->text) +
             (ok ? "; write " + quoted(l->meant) : ""),
         fix);
  c.say("it compares " + quoted(p.lhs) + " with " + quoted(p.rhs));
  why_not(c, quoted(l->meant), why);
  return true;
}

static bool operator_lookalike(check_run& c, const line_scan& s) {
  if (!may_lookalike(s.arg)) return false;
  const split& p = split_of(c, s);
  if (!p.op) return false;  // nestasm stops here, and the error tells of it
  // A look-alike that leaves an operator to split at leaves a byte of it beside that one:
  // "ecx =" > "2", "eax !" == "1", "eax" == "= 1", "a" < "= b".
  const char l = p.lhs.back(), r = p.rhs[0];
  if (l != '=' && l != '<' && l != '!' && l != '>' && r != '=' && r != '>') return false;
  return operator_lookalike_(c, s, p);
}

// `=>` splits at `>`: a condition split in the wrong place is the one thing to say of it.
static constexpr warning_rec operator_lookalike_w = {
    wname::operator_lookalike, "operator-lookalike", on(looks_at::condition), operator_lookalike,
    "if ecx => 2\nend\n",
    "if ecx >= 2\nend\n",
    set_of(wname::compound_condition, wname::foreign_syntax, wname::comment_in_condition,
           wname::operator_in_name, wname::defined_name, wname::number_on_left,
           wname::lowered_name),
    "An operator of another language, or one of nestasm's misspelt, leaves the condition to split "
    "at another."};

[[gnu::noinline]] static bool compound_condition_(check_run& c, const line_scan& s, const split& p) {
  const std::optional<joint> j = find_joint(s.arg);
  if (!j) return false;
  const std::string_view how = s.arg.substr(j->at, j->len);
  const bool all = how[0] == '&' || (how[0] | 0x20) == 'a';
  if (!c.warn(wname::compound_condition, c.col(s.arg) + j->at, j->len,
              "one comparison per condition: " + quoted(how) + " joins two; " +
                  (all ? "nest two ifs" : "use an elif")))
    return true;
  const std::string_view left = trimx(s.arg.substr(0, j->at));
  const std::string_view right = trimx(s.arg.substr(j->at + j->len));
  if (all)
    c.say("write " + quoted("if " + std::string(left)) + ", then one marker deeper " +
          quoted("if " + std::string(right)) + " around the body");
  else
    c.say("write the body under " + quoted("if " + std::string(left)) + " and again under " +
          quoted("elif " + std::string(right)));
  c.say("as it is, the condition splits at " + quoted(p.op->text) + ": it compares " +
        quoted(p.lhs) + " with " + quoted(p.rhs));
  return true;
}

static bool compound_condition(check_run& c, const line_scan& s) {
  if (!may_join(s.arg) || !split_of(c, s).op) return false;
  return compound_condition_(c, s, split_of(c, s));
}

// Two comparisons in one condition: the split at one of them is the one thing to say of it.
static constexpr warning_rec compound_condition_w = {
    wname::compound_condition, "compound-condition", on(looks_at::condition), compound_condition,
    "if al UGE 'a' && al ULE 'z'\nend\n",
    "if al UGE 'a'\n& if al ULE 'z'\n& end\nend\n",
    set_of(wname::foreign_syntax, wname::comment_in_condition, wname::operator_in_name,
           wname::defined_name, wname::number_on_left, wname::lowered_name),
    "Two comparisons joined by `&&`, `and` or the like: a condition holds one."};

static bool foreign_syntax(check_run& c, const line_scan& s) {
  if (!may_be_foreign(s.arg)) return false;
  const foreign g = find_foreign(s.arg);
  if (g.what.empty()) return false;
  if (!split_of(c, s).op) return false;
  if (!c.on(wname::foreign_syntax)) return true;
  const size_t semi = comment_at(s.arg);
  const std::string_view cond = trimx(s.arg.substr(0, semi));
  std::vector<edit> fix = {here(c, c.col(cond), cond.size(), std::string(g.bare))};
  std::string why;
  const bool ok = offer(c, wname::foreign_syntax, fix, why);
  c.warn(wname::foreign_syntax, c.col(cond), cond.size(),
         (g.what.starts_with("parentheses") ? "the " + std::string(g.what) + " reach the cmp"
                                            : "the " + std::string(g.what) + " reaches the cmp") +
             (ok ? "; write " + with_cond(s, g.bare) : ""),
         fix);
  c.say("nestasm takes the text after the keyword as the condition, to the end of the line; "
        "the depth markers, not braces or colons, make the block");
  why_not(c, with_cond(s, g.bare), why);
  return true;
}

// The brackets reach the cmp: the condition's one trouble, and nothing more is said.
static constexpr warning_rec foreign_syntax_w = {
    wname::foreign_syntax, "foreign-syntax", on(looks_at::condition), foreign_syntax,
    "if (eax == 1) {\nend\n",
    "if eax == (1)\nend\n",
    set_of(wname::comment_in_condition, wname::operator_in_name, wname::defined_name,
           wname::number_on_left, wname::lowered_name),
    "Parentheses around the condition, or a `{`, `:`, `then` or `do` after it, reach the `cmp`."};

static bool comment_in_condition(check_run& c, const line_scan& s) {
  if (s.arg.find(';') == std::string_view::npos) return false;
  const split& p = split_of(c, s);
  if (!p.op) return false;
  const size_t comment = comment_at(s.arg);
  if (comment == std::string_view::npos || comment >= p.at) return false;
  if (!c.on(wname::comment_in_condition)) return true;
  // The comment on a line of its own before this one, without markers.
  const std::string_view text = trimx(s.arg.substr(comment));
  const size_t cut = c.col(trimx(s.arg.substr(0, comment))) + trimx(s.arg.substr(0, comment)).size();
  std::vector<edit> fix = {insert_line(c.ln, std::string(text), c.eol),
                           here(c, cut, c.line.size() + 1 - cut, "")};
  std::string why;
  const bool ok = offer(c, wname::comment_in_condition, fix, why);
  // A condition split in the wrong place is the one thing to say about it.
  c.warn(wname::comment_in_condition, c.col(s.arg) + p.at, p.op->text.size(),
         "this splits at the " + quoted(p.op->text) + " in the comment" +
             (ok ? "; move the comment up" : ""),
         fix);
  c.say("it compares " + quoted(p.lhs) + " with " + quoted(p.rhs));
  if (ok) c.say("on a line of its own before this one, the comment leaves the condition alone");
  why_not(c, "the comment on a line of its own", why);
  return true;
}

// The split in the comment is the one thing to say about the condition.
static constexpr warning_rec comment_in_condition_w = {
    wname::comment_in_condition, "comment-in-condition",
    on(looks_at::condition), comment_in_condition,
    "if eax > 5 ; skip when eax == 0\nend\n",
    "if eax == 1 ; note\nend\n",
    set_of(wname::operator_in_name, wname::defined_name, wname::number_on_left,
           wname::lowered_name),
    "The condition splits at an operator inside its comment."};

// "== != >= <= UGT UGE ULT ULE before > and <": the order in which the parser tries the
// operators, each of one byte after those it begins.
static std::string search_order() {
  std::string longer, one;
  for (const op_rec& o : ops) {
    std::string& to = o.text.size() > 1 ? longer : one;
    if (!to.empty()) to += o.text.size() > 1 ? " " : " and ";
    to += o.text;
  }
  return longer + " before " + one;
}

static bool operator_in_name(check_run& c, const line_scan& s) {
  // Only the word operators can stand inside a name, and they are capitals.
  if (s.arg.find('U') == std::string_view::npos) return false;
  const split& p = split_of(c, s);
  if (!p.op || !p.op->unsig) return false;
  size_t b = p.at, e = p.at + p.op->text.size();
  while (b > 0 && ident_byte(s.arg[b - 1])) --b;
  while (e < s.arg.size() && ident_byte(s.arg[e])) ++e;
  if (b == p.at && e == p.at + p.op->text.size()) return false;
  if (!c.on(wname::operator_in_name)) return true;
  const std::string_view name = s.arg.substr(b, e - b);
  // Another operator outside the name is the one meant.
  std::optional<op_hit> other = find_op(s.arg.substr(0, b));
  if (!other) {
    other = find_op(s.arg.substr(e));
    if (other) other->at += e;
  }
  if (other) {
    c.warn(wname::operator_in_name, c.col(s.arg) + p.at, p.op->text.size(),
           "this splits at the " + quoted(p.op->text) + " in " + quoted(name) + ", not at " +
               quoted(ops[other->op].text));
    c.say("nestasm tries " + search_order() + "; rename " + quoted(name) +
          " so that it holds none of them");
    return true;
  }
  // The operator meant, written against its operands: blanks around it.
  const size_t col = c.col(s.arg) + p.at;
  std::vector<edit> fix;
  if (p.at > b) fix.push_back(here(c, col, 0, " "));
  if (e > p.at + p.op->text.size()) fix.push_back(here(c, col + p.op->text.size(), 0, " "));
  std::string why;
  const bool ok = offer(c, wname::operator_in_name, fix, why);
  c.warn(wname::operator_in_name, col, p.op->text.size(),
         "the condition splits at " + quoted(p.op->text) + " inside " + quoted(name) +
             (ok ? "; put blanks around it" : ""),
         fix);
  c.say("it compares " + quoted(p.lhs) + " with " + quoted(p.rhs));
  why_not(c, "blanks", why);
  return true;
}

// A split inside a name is the one thing to say about the condition.
static constexpr warning_rec operator_in_name_w = {
    wname::operator_in_name, "operator-in-name", on(looks_at::condition), operator_in_name,
    "while ecx < MAX_RESULTS\nend\n",
    "while ecx ULT MAX\nend\n",
    set_of(wname::defined_name, wname::number_on_left, wname::lowered_name),
    "The condition splits at `UGT`, `UGE`, `ULT` or `ULE` inside a longer name."};

// A bare name on the left that the file defines for NASM, so nestasm cannot decide with it.
[[gnu::noinline]] static bool defined_name_(check_run& c, const line_scan& s, const split& p) {
  const std::optional<nasm_def> d = defined(c, p.lhs);
  // A name for a register or a memory operand is the lower-cased name's business.
  if (!d || d->macro) return false;
  const std::string_view v = d->value;
  if (!v.empty() && (v[0] == '[' || nasm_word(lowerme(std::string(v.substr(0, v.find_first_of(" \t[")))))))
    return false;
  if (!c.on(wname::defined_name)) return true;
  const size_t semi = comment_at(p.rhs);
  const std::string_view rhs = trimx(p.rhs.substr(0, semi));
  const bool constant = isimm2(rhs) || nasm_number(rhs) || defined(c, rhs);
  if (constant) {
    c.warn(wname::defined_name, c.col(p.lhs), p.lhs.size(),
           quoted(p.lhs) + " is NASM's (line " + num(d->line + 1) + "), no number to nestasm: use " +
               quoted("%if " + std::string(p.lhs) + " " + std::string(p.op->text) + " " +
                      std::string(rhs)));
    c.say("nestasm decides only conditions between two numbers; this one becomes " +
          quoted("cmp " + lowerme(std::string(p.lhs)) + ", " + std::string(rhs)) +
          ", which NASM rejects; NASM's " + quoted("%if") + " ... " + quoted("%endif") +
          " in place of " + quoted(lowerme(std::string(word_of(s)))) + " ... " +
          quoted("end") + " decides it when assembling");
    return true;
  }
  std::vector<edit> fix = {mirrored(c, p.lhs, *p.op, p.rhs)};
  std::string why;
  const bool ok = offer(c, wname::defined_name, fix, why);
  const std::string turned = turned_round(p.lhs, *p.op, p.rhs);
  c.warn(wname::defined_name, c.col(p.lhs), p.lhs.size(),
         "cmp takes no constant on the left" + (ok ? "; write " + with_cond(s, turned) : ""), fix);
  c.say(quoted(p.lhs) + " is a constant NASM defines (line " + num(d->line + 1) + ")");
  why_not(c, with_cond(s, turned), why);
  return true;
}

static bool defined_name(check_run& c, const line_scan& s) {
  // A register or a size first is no bare name of the file's: most conditions start so, and
  // need not be split for it.
  size_t w = 0;
  while (w < s.arg.size() && w < 8 && ident_byte(s.arg[w])) ++w;
  if (w > 0 && w <= 7) {
    char l[8];
    for (size_t i = 0; i < w; ++i) l[i] = static_cast<char>(s.arg[i] | 0x20);
    if (nasm_word(std::string_view(l, w))) return false;
  }
  const split& p = split_of(c, s);
  if (!p.op || p.lhs.empty()) return false;
  const char f = p.lhs[0];
  if (!((f >= 'a' && f <= 'z') || (f >= 'A' && f <= 'Z') || f == '_')) return false;
  for (char ch : p.lhs)
    if (!ident_byte(ch)) return false;
  // Registers are the usual bare names; none is longer than seven bytes.
  if (p.lhs.size() <= 7) {
    char l[8];
    for (size_t i = 0; i < p.lhs.size(); ++i) l[i] = static_cast<char>(p.lhs[i] | 0x20);
    if (nasm_word(std::string_view(l, p.lhs.size()))) return false;
  }
  if (decided(p)) return false;
  return defined_name_(c, s, p);
}

// The name is the left operand's one trouble: no number, and so no lowered name either.
static constexpr warning_rec defined_name_w = {
    wname::defined_name, "defined-name", on(looks_at::condition), defined_name,
    "%define DEBUG 0\nif DEBUG == 1\nend\n",
    "%define DEBUG 0\nif eax == DEBUG\nend\n",
    set_of(wname::number_on_left, wname::lowered_name),
    "The left operand is a name the file defines for NASM, so nothing is decided now."};

static bool number_on_left(check_run& c, const line_scan& s) {
  const char f = s.arg.empty() ? ' ' : s.arg[0];
  const bool number = (f >= '0' && f <= '9') || f == '-' || f == '+' || f == '~' || f == '$' ||
                      f == '"' || f == '`';
  if (!number) return false;
  const split& p = split_of(c, s);
  if (!p.op || decided(p) || !nasm_number(p.lhs)) return false;
  if (!c.on(wname::number_on_left)) return false;
  std::vector<edit> fix = {mirrored(c, p.lhs, *p.op, p.rhs)};
  std::string why;
  const bool ok = offer(c, wname::number_on_left, fix, why);
  const std::string turned = fix.empty() ? "" : turned_round(p.lhs, *p.op, p.rhs);
  c.warn(wname::number_on_left, c.col(p.lhs), p.lhs.size(),
         "cmp takes no number on the left" + (ok ? "; write " + with_cond(s, turned) : ""), fix);
  c.say(quoted(p.lhs) + " is a number to NASM, but not to nestasm, which decides a condition "
        "between two numbers now and puts any other in a cmp");
  why_not(c, "turning it round", why);
  return false;
}

// NASM reads `10h` as a number and nestasm does not: the cmp gets it on the left.
static constexpr warning_rec number_on_left_w = {
    wname::number_on_left, "number-on-left", on(looks_at::condition), number_on_left,
    "if 10h == eax\nend\n",
    "if eax == 10h\nend\n",
    {},
    "The left operand is a number to NASM but not to nestasm, so the `cmp` takes it on the left."};

static bool lowered_name(check_run& c, const line_scan& s) {
  bool caps = false;
  for (char ch : s.arg) caps = caps || (ch >= 'A' && ch <= 'Z');
  if (!caps) return false;
  const split& p = split_of(c, s);
  if (!p.op || decided(p)) return false;
  const std::string_view name = capital_name(p.lhs);
  if (name.empty() || !c.on(wname::lowered_name)) return false;
  const size_t semi = comment_at(p.rhs);
  const std::string_view rhs = trimx(p.rhs.substr(0, semi));
  std::vector<edit> fix;
  if (!isimm2(rhs) && !nasm_number(rhs)) fix.push_back(mirrored(c, p.lhs, *p.op, p.rhs));
  std::string why;
  const bool ok = offer(c, wname::lowered_name, fix, why);
  const std::string turned = turned_round(p.lhs, *p.op, p.rhs);
  c.warn(wname::lowered_name, c.col(name), name.size(),
         "the left operand is lower-cased: " + quoted(name) + " becomes " +
             quoted(lowerme(std::string(name))) + (ok ? "; write " + with_cond(s, turned) : ""),
         fix);
  if (ok) c.say("the right operand is copied as written");
  else
    c.say("NASM's names keep their case: define and use it in lower case, or load it into a "
          "register first and compare that");
  why_not(c, with_cond(s, turned), why);
  return false;
}

// `Counter` becomes `counter` in the cmp; `DWORD` is NASM's in any case.
static constexpr warning_rec lowered_name_w = {
    wname::lowered_name, "lowered-name", on(looks_at::condition), lowered_name,
    "if dword [Counter] == 3\nend\n",
    "if DWORD [count] == 3\nend\n",
    {},
    "A name with capitals on the left is lower-cased in the `cmp`, and NASM's names keep their "
    "case."};
