// The warnings of nestasm-check: lines nestasm accepts that almost certainly do not mean what
// they say. One check and one record each; the record's examples are run by check_test.
#include <array>

#include "check/check.h"
#include "common/common.h"
#include "cond/cond.h"

// --- after a line that closed blocks by its depth ---------------------------------------------

// The next line that is not blank has come, with `s.depth` markers: each waiting line that
// closed a block opened with fewer markers than that was meant to leave it open.
static bool closed_by_line(check_run& c, const line_scan& s) {
  const int64_t depth = s.depth;
  std::vector<waiting> w;
  w.swap(c.pending);
  // From the last, so that inserting a warning leaves the places of the earlier ones as they are.
  for (size_t i = w.size(); i-- > 0;) {
    const waiting& p = w[i];
    const opened* b = nullptr;
    for (size_t k = p.from; k < p.to; ++k)
      if (c.gone[k].depth < depth) {
        b = &c.gone[k];
        break;
      }
    if (!b || !c.on(wname::closed_by_line)) continue;
    const char* what = p.how == closed_by::blank     ? "this blank line"
                       : p.how == closed_by::comment ? "this comment"
                                                     : "this line";
    std::vector<diag> ins;
    diag d = c.make(level::warning, p.line, p.src, 1, p.src.empty() ? 1 : p.src.size(),
                    std::string(what) + ", with " + markers(p.depth) + ", closes " + describe(*b) +
                        ", which has " + markers(b->depth) + "; line " + num(c.ln + 1) +
                        ", with " + markers(depth) + ", was meant to be inside it");
    d.name = static_cast<int>(wname::closed_by_line);
    ++c.res.warnings;
    ins.push_back(std::move(d));
    // The note is made as any other, then moved beside its warning.
    const size_t mark = c.held.size();
    c.pending.push_back({});
    note_opened(c, *b);
    c.pending.clear();
    for (size_t k = mark; k < c.held.size(); ++k) ins.push_back(std::move(c.held[k]));
    c.held.resize(mark);
    c.held.insert(c.held.begin() + static_cast<std::ptrdiff_t>(p.at),
                  std::make_move_iterator(ins.begin()), std::make_move_iterator(ins.end()));
  }
  w.clear();
  w.swap(c.pending);  // keeps its room for the next time
  c.flush();
  return false;
}

// --- plain lines ----------------------------------------------------------------------------

static bool tab_before_marker(check_run& c, const line_scan& s) {
  // Markers after a tab are text.
  if (s.body[0] != '&') return false;
  int64_t more = 0;
  for (char ch : s.body) {
    if (ch == '&') ++more;
    else if (ch != ' ' && ch != '\t') break;
  }
  c.warn(wname::tab_before_marker, s.prefix + 1, 1,
         "a tab ends the depth markers: the " + quoted("&") +
             " after it are text, so this line has " + markers(s.depth) + ", not " +
             markers(s.depth + more) + ", and reaches NASM as " + quoted(s.body) +
             "; put only spaces before and between markers");
  return false;
}

static bool not_a_statement(check_run& c, const line_scan& s) {
  // Only a word that starts with one of these letters can be taken for a statement.
  switch (s.body[0] | 0x20) {
    case 'e': case 'f': case 'i': case 'w': break;
    default: return false;
  }
  size_t wl = 0;
  while (wl < s.body.size() && s.body[wl] != ' ' && s.body[wl] != '\t') ++wl;
  const std::string_view word = s.body.substr(0, wl);
  const std::string_view meant = meant_statement(word);
  if (meant.empty()) return false;
  const bool paren = word.find('(') != std::string_view::npos;
  // One thing to say about a line: a line that is no statement is not also told that it stays
  // inside its block.
  return c.warn(wname::not_a_statement, c.col(s.body), word.size(),
                quoted(word) + " is no statement of nestasm, so the line goes to NASM as it "
                               "stands; " +
                    (paren ? "a keyword needs a blank after it, and a condition takes no "
                             "parentheses: write " +
                                 quoted(std::string(meant) + " LEFT OP RIGHT")
                           : "write " + quoted(meant)));
}

static bool label_in_block(check_run& c, const line_scan& s) {
  if (c.open.empty()) return false;
  // A label needs a ":", which few other lines have.
  if (s.body.find(':') == std::string_view::npos) return false;
  const std::string_view label = label_of(s.body);
  if (label.empty() || label[0] == '.') return false;
  const opened& top = c.open.back();
  if (!c.warn(wname::label_in_block, c.col(label), label.size(),
              quoted(label) + " is defined inside " + describe(top) +
                  ": NASM starts a new scope of local labels at it, so the block's jumps before "
                  "it and their labels after it fall into two scopes, and NASM reports \"symbol "
                  "... not defined\"; use a local label " +
                  quoted("." + std::string(label)) + ", or define it outside the block"))
    return false;
  note_opened(c, top);
  return true;
}

static bool missing_end(check_run& c, const line_scan& s) {
  if (c.open.empty() || !c.now.empty()) return false;
  const opened& top = c.open.back();
  if (top.depth != s.depth || !top.deeper || top.flat) return false;
  if (!c.warn(wname::missing_end, c.col(s.body), s.body.size(),
              "this line stays inside " + describe(top) + ": it has as many markers as that "
              "block, " + num(top.depth) + ", and closes nothing, while the block's other lines "
              "have more; if it should follow the block, put " +
                  quoted(std::string(static_cast<size_t>(top.depth), '&') +
                         (top.depth ? " end" : "end")) +
                  " before it"))
    return false;
  note_opened(c, top);
  return true;
}

// --- conditions -----------------------------------------------------------------------------

// The condition of `s` split as the translator splits it, and where.
struct split {
  const op_rec* op = nullptr;
  size_t at = 0;
  std::string_view lhs, rhs;
};

static split split_of(const line_scan& s) {
  const std::optional<op_hit> hit = find_op(s.arg);
  if (!hit) return {};
  split p;
  p.op = &ops[hit->op];
  p.at = hit->at;
  p.lhs = trimx(s.arg.substr(0, p.at));
  p.rhs = trimx(s.arg.substr(p.at + p.op->text.size()));
  return p;
}

// A condition decided now makes no cmp, so what NASM would make of one does not matter.
static bool decided(const split& p) {
  bool truth = false;
  return constcmp(p.lhs, p.op->text, p.rhs, truth) != konst::no;
}

static bool comment_in_condition(check_run& c, const line_scan& s) {
  if (s.arg.find(';') == std::string_view::npos) return false;
  const split p = split_of(s);
  if (!p.op) return false;
  const size_t comment = comment_at(s.arg);
  if (comment == std::string_view::npos || comment >= p.at) return false;
  // A condition split in the wrong place is the one thing to say about it.
  c.warn(wname::comment_in_condition, c.col(s.arg) + p.at, p.op->text.size(),
         "the condition splits at " + quoted(p.op->text) + " inside the comment after " +
             quoted(";") + ": it compares " + quoted(p.lhs) + " with " + quoted(p.rhs) +
             "; put the comment on a line of its own");
  return true;
}

static bool operator_in_name(check_run& c, const line_scan& s) {
  // Only the word operators can stand inside a name, and they are capitals.
  if (s.arg.find('U') == std::string_view::npos) return false;
  const split p = split_of(s);
  if (!p.op || !p.op->unsig) return false;
  size_t b = p.at, e = p.at + p.op->text.size();
  while (b > 0 && ident_byte(s.arg[b - 1])) --b;
  while (e < s.arg.size() && ident_byte(s.arg[e])) ++e;
  if (b == p.at && e == p.at + p.op->text.size()) return false;
  c.warn(wname::operator_in_name, c.col(s.arg) + p.at, p.op->text.size(),
         "the condition splits at " + quoted(p.op->text) + " inside the name " +
             quoted(s.arg.substr(b, e - b)) + ": it compares " + quoted(p.lhs) + " with " +
             quoted(p.rhs) + "; put blanks around the operator, or rename");
  return true;
}

static bool number_on_left(check_run& c, const line_scan& s) {
  const char f = s.arg.empty() ? ' ' : s.arg[0];
  const bool number = (f >= '0' && f <= '9') || f == '-' || f == '+' || f == '~' || f == '$' ||
                      f == '"' || f == '`';
  if (!number) return false;
  const split p = split_of(s);
  if (!p.op || decided(p) || !nasm_number(p.lhs)) return false;
  const std::string kw(s.body.substr(0, s.word));
  c.warn(wname::number_on_left, c.col(p.lhs), p.lhs.size(),
         quoted(p.lhs) + " is a number to NASM but not to nestasm, so cmp gets an immediate on "
                         "the left and NASM rejects it; write " +
             quoted(kw + " " + std::string(p.rhs) + " " + std::string(p.op->mirror) + " " +
                    std::string(p.lhs)));
  return false;
}

static bool lowered_name(check_run& c, const line_scan& s) {
  bool caps = false;
  for (char ch : s.arg) caps = caps || (ch >= 'A' && ch <= 'Z');
  if (!caps) return false;
  const split p = split_of(s);
  if (!p.op || decided(p)) return false;
  const std::string_view name = capital_name(p.lhs);
  if (name.empty()) return false;
  c.warn(wname::lowered_name, c.col(name), name.size(),
         "the left operand is lower-cased in the cmp: " + quoted(name) + " becomes " +
             quoted(lowerme(std::string(name))) +
             "; write the name in lower case, or put it on the right, which is copied as written");
  return false;
}

// --- else and comment lines -----------------------------------------------------------------

static bool else_text(check_run& c, const line_scan& s) {
  if (s.arg.empty() || s.arg[0] == ';') return false;
  // Text that reads as a condition, or that starts with a statement, was meant to count.
  size_t w = 0;
  while (w < s.arg.size() && s.arg[w] != ' ' && s.arg[w] != '\t') ++w;
  const std::string first = lowerme(std::string(s.arg.substr(0, w)));
  const bool stmt_word = first == "if" || first == "elif" || first == "while";
  if (!stmt_word && !find_op(s.arg)) return false;
  std::string_view cond = s.arg;
  if (first == "if" || first == "elif") cond = trimx(s.arg.substr(w));
  const size_t semi = comment_at(s.arg);
  const size_t len =
      semi == std::string_view::npos ? s.arg.size() : trimx(s.arg.substr(0, semi)).size();
  c.warn(wname::else_text, c.col(s.arg), len,
         "the text after " + quoted("else") + " is ignored: this is a plain else, and " +
             quoted(s.arg.substr(0, len)) + " is never tested; write " +
             quoted("elif " + std::string(cond)) + " for another branch");
  return false;
}

static bool marker_on_comment(check_run& c, const line_scan& s) {
  if (s.depth == 0) return false;
  const size_t amp = c.line.find('&');
  c.warn(wname::marker_on_comment, amp + 1, s.prefix - amp,
         {s.body.empty() ? "a line of only markers" : "a comment with markers",
          " is copied as it stands, markers included, and NASM rejects it; ",
          s.body.empty() ? "leave the line empty, or remove it"
                         : "put the comment after an instruction instead"});
  return false;
}

// --- the table ------------------------------------------------------------------------------

static constexpr std::array<warning_rec, 11> table = {{
    {wname::closed_by_line, "closed-by-line", looks_at::next_line, closed_by_line,
     "if eax == 1\n& if ebx == 2\n& & inc eax\n\n& & inc ecx\n& end\nend\n",
     "while ecx != 0\n& if ebx == 2\n& & inc eax\n\n& dec ecx\nend\n"},
    {wname::tab_before_marker, "tab-before-marker", looks_at::plain, tab_before_marker,
     "if eax == 1\n\t&inc eax\nend\n", "if eax == 1\n&\tinc eax\nend\n"},
    {wname::not_a_statement, "not-a-statement", looks_at::plain, not_a_statement,
     "if eax == 1\n& nop\nendif\n", "if eax == 1\n& endbr64\nend\n"},
    {wname::label_in_block, "label-in-block", looks_at::plain, label_in_block,
     "while ecx != 0\n& dec ecx\nnext:\nend\n", "while ecx != 0\n.next:\n& dec ecx\nend\n"},
    {wname::missing_end, "missing-end", looks_at::plain, missing_end,
     "if eax == 1\n& inc ebx\ninc ecx\nend\n",
     "&while ecx UGT 0\n&&if eax == 5\n&&&inc ebx\n&dec ecx\n"},
    {wname::comment_in_condition, "comment-in-condition", looks_at::condition,
     comment_in_condition, "if eax > 5 ; skip when eax == 0\nend\n",
     "if eax == 1 ; note\nend\n"},
    {wname::operator_in_name, "operator-in-name", looks_at::condition, operator_in_name,
     "while ecx < MAX_RESULTS\nend\n", "while ecx ULT MAX\nend\n"},
    {wname::number_on_left, "number-on-left", looks_at::condition, number_on_left,
     "if 10h == eax\nend\n", "if eax == 10h\nend\n"},
    {wname::lowered_name, "lowered-name", looks_at::condition, lowered_name,
     "if dword [Counter] == 3\nend\n", "if DWORD [count] == 3\nend\n"},
    {wname::else_text, "else-text", looks_at::else_line, else_text,
     "if eax == 1\nelse if eax == 2\nend\n", "if eax == 1\nelse ; the rest\nend\n"},
    {wname::marker_on_comment, "marker-on-comment", looks_at::blank, marker_on_comment,
     "if eax == 1\n& if ebx == 1\n&& ; note\n& end\nend\n", "if eax == 1\n& nop ; note\nend\n"},
}};

// The checks of each kind of line, in table order, made once from the table.
struct by_kind {
  bool (*check[std::size(table)])(check_run&, const line_scan&) = {};
  size_t n = 0;
};
static constexpr auto checks = [] {
  std::array<by_kind, 5> k{};
  for (const warning_rec& r : table) {
    by_kind& b = k[static_cast<size_t>(r.on)];
    b.check[b.n++] = r.check;
  }
  return k;
}();

void run_checks(check_run& c, looks_at on, const line_scan& s) {
  const by_kind& k = checks[static_cast<size_t>(on)];
  for (size_t i = 0; i < k.n; ++i)
    if (k.check[i](c, s)) return;
}

std::span<const warning_rec> warning_table() { return table; }

const warning_rec& warning_of(wname w) {
  for (const warning_rec& r : table)
    if (r.id == w) return r;
  return table[0];  // cannot be: every wname has its record
}

std::string_view name_of(wname w) { return warning_of(w).name; }

std::optional<wname> wname_from(std::string_view name) {
  for (const warning_rec& r : table)
    if (r.name == name) return r.id;
  return std::nullopt;
}
