// The checker's pass: the translator's own line loop, watched line by line. What the block stack
// holds before and after each line tells which blocks the line closed and how, which it opened,
// and where the translation stops; the explanations and warnings are built from that.
#include "check/check.h"

#include <initializer_list>

#include "codegen/codegen.h"
#include "common/common.h"
#include "cond/cond.h"
#include "out/out.h"
#include "scan/scan.h"

namespace {

// The checker's record of one entry of stk, kept in step with it.
struct opened {
  int64_t line = 0;     // the if or while that began the construct (0-based)
  int64_t branch = 0;   // the if, elif or else that began the branch now open
  int64_t depth = 0;
  int kind = if_blk;
  bool deeper = false;  // a line of this branch had more markers than the block
  bool flat = false;    // a line of this branch had as many
  std::string_view branch_src;  // the text of line `branch`
};

enum closer { by_line, by_blank, by_comment, by_end };

// The last block opened at some depth that was closed, and what closed it.
struct closed {
  opened b;
  int64_t by = -1;  // the line that closed it; -1: none yet
  std::string_view by_src;
  closer how = by_line;
  int64_t by_depth = 0;
};

// A line that closed blocks by depth, waiting for the next line that is not blank to tell
// whether it was meant to stay inside one of them.
struct waiting {
  int64_t line = 0;
  std::string_view src;
  size_t at = 0;  // where in the held diagnostics its warning goes
  closer how = by_line;
  int64_t depth = 0;
  size_t from = 0, to = 0;  // the blocks it closed, innermost first, in checker::gone
};

// Depths up to this are remembered for the notes; deeper ones are rare and only cost memory.
constexpr int64_t kept_depths = 4096;

std::string num(int64_t n) { return std::to_string(n); }

std::string markers(int64_t d) {
  if (d == 0) return "no markers";
  return d == 1 ? "1 marker" : num(d) + " markers";
}

std::string quoted(std::string_view s) {
  std::string r = "`";
  r += s;
  r += '`';
  return r;
}

const char* kind_word(int kind) {
  return kind == if_blk ? "if-block" : kind == else_blk ? "else-block" : "while-block";
}

// "the if-block opened at line 3"; an elif branch is named by its elif.
std::string describe(const opened& b) {
  if (b.kind == if_blk && b.branch != b.line)
    return "the elif branch opened at line " + num(b.branch + 1);
  return std::string("the ") + kind_word(b.kind) + " opened at line " + num(b.branch + 1);
}

struct checker {
  const check_opts& o;
  diag_sink sink;
  void* ctx;
  check_result res;
  std::vector<opened> open;
  std::vector<closed> last;  // by depth
  std::vector<diag> held;    // while a closed-by-line decision waits for the next line

  std::vector<waiting> pending;
  std::vector<opened> gone;  // the blocks closed by the waiting lines

  std::string_view line;  // the line being looked at
  int64_t ln = 0;

  checker(const check_opts& opts, diag_sink s, void* c) : o(opts), sink(s), ctx(c) {}

  size_t col(std::string_view part) const {
    return static_cast<size_t>(part.data() - line.data()) + 1;
  }

  void put(diag&& d) {
    if (!pending.empty()) held.push_back(std::move(d));
    else sink(d, ctx);
  }

  diag make(level l, int64_t at, std::string_view src, size_t c, size_t len, std::string text) {
    diag d;
    d.lvl = l;
    d.line = at + 1;
    d.col = c;
    d.end_col = c + (len ? len : 1);
    d.text = std::move(text);
    d.src = src;
    return d;
  }

  bool on(wname w) const { return !(o.off >> static_cast<int>(w) & 1u); }

  // A warning about this line, from column `c` for `len` bytes. False when it is silenced, so
  // the caller leaves out its notes too.
  bool warn(wname w, size_t c, size_t len, std::string text) {
    if (!on(w)) return false;
    diag d = make(level::warning, ln, line, c, len, std::move(text));
    d.name = static_cast<int>(w);
    ++res.warnings;
    put(std::move(d));
    return true;
  }

  // The same, for a text made of constant pieces, built in a diagnostic kept for the purpose:
  // a warning that can come on a large share of the lines costs no allocation.
  diag cur;
  std::vector<std::string_view> cur_parts;
  bool warn(wname w, size_t c, size_t len, std::initializer_list<std::string_view> text) {
    if (!on(w)) return false;
    cur.lvl = level::warning;
    cur.line = ln + 1;
    cur.col = c;
    cur.end_col = c + (len ? len : 1);
    cur.name = static_cast<int>(w);
    cur.src = line;
    // The same constant pieces as last time leave the text as it is.
    bool same = text.size() == cur_parts.size();
    for (size_t i = 0; same && i < text.size(); ++i)
      same = text.begin()[i].data() == cur_parts[i].data() &&
             text.begin()[i].size() == cur_parts[i].size();
    if (!same) {
      cur.text.clear();
      cur_parts.assign(text.begin(), text.end());
      for (std::string_view t : text) cur.text += t;
    }
    ++res.warnings;
    if (!pending.empty()) held.push_back(cur);
    else sink(cur, ctx);
    return true;
  }

  // A note about line `at`, whose text is `s`.
  void note_at(int64_t at, std::string_view s, std::string text) {
    const line_scan sc = scan_line(s);
    const size_t c = sc.body.empty() ? 1 : static_cast<size_t>(sc.body.data() - s.data()) + 1;
    const size_t len = sc.kind == stmt::plain || sc.kind == stmt::blank ? sc.body.size() : sc.word;
    put(make(level::note, at, s, c, len, std::move(text)));
  }

  void note_opened(const opened& b) {
    std::string what = b.kind == if_blk && b.branch != b.line ? "the elif branch"
                                                               : std::string("the ") + kind_word(b.kind);
    note_at(b.branch, b.branch_src, what + " opened here, with " + markers(b.depth));
  }

  // --- what a line did to the stack ---------------------------------------------------------

  void record_close(const opened& b, closer how, int64_t depth) {
    if (b.depth < 0 || b.depth >= kept_depths) return;
    const size_t d = static_cast<size_t>(b.depth);
    if (last.size() <= d) last.resize(d + 1);
    last[d] = closed{b, ln, line, how, depth};
  }

  // The block opened at `depth` that the statement on this line was most likely meant for,
  // when something closed it earlier: the last one closed at that depth, opened after the
  // block that is open now.
  const closed* closed_before(int64_t depth) const {
    if (depth < 0 || depth >= static_cast<int64_t>(last.size())) return nullptr;
    const closed& c = last[static_cast<size_t>(depth)];
    if (c.by < 0) return nullptr;
    if (!open.empty() && c.b.line <= open.back().branch) return nullptr;
    return &c;
  }

  void note_closed(const closed& c) {
    std::string t = describe(c.b) + ", with " + markers(c.b.depth) + ", ";
    switch (c.how) {
      case by_end: t += "was ended here, by an earlier end"; break;
      case by_blank:
        t += "was closed here by a blank line: every line, a blank one too, closes the blocks "
             "opened with more markers than its own";
        break;
      case by_comment:
        t += "was closed here by a comment with " + markers(c.by_depth) +
             ": a comment, too, closes the blocks opened with more markers than its own";
        break;
      case by_line:
        t += "was closed here by a line with " + markers(c.by_depth);
        break;
    }
    note_at(c.by, c.by_src, std::move(t));
  }

  // --- errors -------------------------------------------------------------------------------

  void error(int status, size_t c, size_t len, std::string text) {
    diag d = make(level::error, ln, line, c, len, std::string(message(status).substr(
                                                      0, message(status).size() - 1)) +
                                                      ": " + text);
    d.status = status;
    put(std::move(d));
  }

  // end bad, elif bad, else bad: what is open instead, and what closed the block meant.
  void wrong_block(int status, const line_scan& s) {
    const std::string_view word = s.body.substr(0, s.word);
    const std::string kw = quoted(lowerme(std::string(word)));
    const size_t c = col(s.body);
    const bool end = s.kind == stmt::end;
    if (open.empty()) {
      error(status, c, word.size(),
            end ? "no block is open here, so this end has nothing to end"
                : "no if-block is open here for this " + kw + " to continue");
    } else {
      const opened& top = open.back();
      if (top.depth != s.depth) {
        error(status, c, word.size(),
              "this " + kw + " has " + markers(s.depth) + ", but the innermost open block, " +
                  describe(top) + ", has " + markers(top.depth));
        note_opened(top);
      } else if (top.kind == while_blk) {
        error(status, c, word.size(),
              "the innermost open block at this depth is " + describe(top) + "; an " + kw +
                  " continues only an if-block");
        note_opened(top);
      } else {
        error(status, c, word.size(),
              "the if-block opened at line " + num(top.line + 1) + " already has its else, at line " +
                  num(top.branch + 1) + "; only its end can follow");
        note_at(top.branch, top.branch_src, "the else of that if-block is here");
      }
    }
    if (const closed* gone = closed_before(s.depth))
      if (end || gone->b.kind != while_blk) note_closed(*gone);
  }

  // bad if, bad elif, bad while: which of the three reasons, and where.
  void no_condition(int status, const line_scan& s) {
    const std::string kw = quoted(lowerme(std::string(s.body.substr(0, s.word))));
    const std::optional<op_hit> hit = find_op(s.arg);
    if (s.arg.empty()) {
      error(status, col(s.body), s.word, "there is no condition after " + kw);
      return;
    }
    if (!hit) {
      std::string t = quoted(s.arg) +
                      " holds none of the operators == != >= <= UGT UGE ULT ULE > <";
      // An unsigned operator in the wrong case is the likely cause.
      const std::string up = [&] {
        std::string u(s.arg);
        for (char& ch : u) ch = ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 32) : ch;
        return u;
      }();
      for (size_t k = 4; k < 8; ++k) {
        const size_t at = up.find(ops[k]);
        if (at == std::string::npos) continue;
        // Only a word of its own: "result" holds "ULT" in another case too.
        if ((at > 0 && ident_byte(up[at - 1])) || (at + 3 < up.size() && ident_byte(up[at + 3])))
          continue;
        t += "; the unsigned operators are written in capitals: " + quoted(ops[k]) + ", not " +
             quoted(s.arg.substr(at, 3));
        error(status, col(s.arg) + at, 3, std::move(t));
        return;
      }
      error(status, col(s.arg), s.arg.size(), std::move(t));
      return;
    }
    const std::string_view op = ops[hit->op];
    const size_t at = hit->at;
    const size_t c = col(s.arg) + at;
    if (trimx(s.arg.substr(0, at)).empty()) {
      std::string t = "nothing is left of the operator " + quoted(op) + " found at column " +
                      num(static_cast<int64_t>(c));
      size_t e = at + op.size();
      while (e < s.arg.size() && ident_byte(s.arg[e])) ++e;
      if (hit->op >= 4 && hit->op < 8 && e > at + op.size())
        t += ", the start of " + quoted(s.arg.substr(at, e - at));
      error(status, c, op.size(), std::move(t));
      return;
    }
    error(status, c, op.size(),
          "nothing is right of the operator " + quoted(op) + " found at column " +
              num(static_cast<int64_t>(c)));
  }

  void imm_left(int status, const line_scan& s) {
    const std::optional<cond3> k = parse_if(s.arg);
    if (!k) return stops(status, s);  // cannot be: only a parsed condition is tested
    const size_t c = col(s.arg);
    if (isimm2(k->rhs)) {
      error(status, c, k->lhs.size(),
            quoted(k->lhs) + " and " + quoted(k->rhs) +
                " are both immediates, not both numbers, so the condition is not decided now "
                "and cmp cannot compare them; load one into a register first");
      return;
    }
    const std::string kw(s.body.substr(0, s.word));
    error(status, c, k->lhs.size(),
          quoted(k->lhs) + " on the left is an immediate, and cmp takes none there; write " +
              quoted(kw + " " + std::string(k->rhs) + " " + std::string(mirrored(k->op)) + " " +
                     std::string(k->lhs)));
  }

  void big(int status, const line_scan& s) {
    const std::optional<cond3> k = parse_if(s.arg);
    if (!k) return stops(status, s);
    const bool left = !numparse(k->lhs);
    const std::string_view n = left ? k->lhs : k->rhs;
    const size_t at = left ? 0 : s.arg.size() - k->rhs.size();
    error(status, col(s.arg) + at, n.size(),
          quoted(n) + " is above 9223372036854775807 (2^63-1), the largest number a condition "
                      "between two numbers can hold");
  }

  // A status with nothing more to say about it: the error still stands, at its line.
  void stops(int status, const line_scan& s) {
    error(status, col(s.body), s.body.size(), "the translation stops here");
  }

  [[gnu::noinline]] void explain(int status, const line_scan& s) {
    switch (static_cast<st>(status)) {
      case st::bad_if: case st::bad_elif: case st::bad_while: no_condition(status, s); break;
      case st::imm_lhs_if: case st::imm_lhs_elif: case st::imm_lhs_while: imm_left(status, s); break;
      case st::elif_bad: case st::else_bad: case st::end_bad: wrong_block(status, s); break;
      case st::big_num: big(status, s); break;
      default: stops(status, s); break;
    }
  }

  // --- warnings -------------------------------------------------------------------------------

  // The next line that is not blank has come, with `depth` markers: each waiting line that
  // closed a block opened with fewer markers than that was meant to leave it open.
  [[gnu::noinline]] void resolve_pending(int64_t depth) {
    std::vector<waiting> w;
    w.swap(pending);
    // From the last, so that inserting a warning leaves the places of the earlier ones as they are.
    for (size_t i = w.size(); i-- > 0;) {
      const waiting& p = w[i];
      const opened* b = nullptr;
      for (size_t k = p.from; k < p.to; ++k)
        if (gone[k].depth < depth) {
          b = &gone[k];
          break;
        }
      if (!b || !on(wname::closed_by_line)) continue;
      const char* what = p.how == by_blank     ? "this blank line"
                         : p.how == by_comment ? "this comment"
                                               : "this line";
      std::vector<diag> ins;
      diag d = make(level::warning, p.line, p.src, 1, p.src.empty() ? 1 : p.src.size(),
                    std::string(what) + ", with " + markers(p.depth) + ", closes " + describe(*b) +
                        ", which has " + markers(b->depth) + "; line " + num(ln + 1) + ", with " +
                        markers(depth) + ", was meant to be inside it");
      d.name = static_cast<int>(wname::closed_by_line);
      ++res.warnings;
      ins.push_back(std::move(d));
      // The note is made as any other, then moved beside its warning.
      const size_t mark = held.size();
      pending.push_back({});
      note_opened(*b);
      pending.clear();
      for (size_t k = mark; k < held.size(); ++k) ins.push_back(std::move(held[k]));
      held.resize(mark);
      held.insert(held.begin() + static_cast<std::ptrdiff_t>(p.at),
                  std::make_move_iterator(ins.begin()), std::make_move_iterator(ins.end()));
    }
    w.clear();
    w.swap(pending);  // keeps its room for the next time
    flush();
  }

  void flush() {
    pending.clear();
    gone.clear();
    for (const diag& d : held) sink(d, ctx);
    held.clear();
  }

  [[gnu::noinline]] void condition_warnings(const line_scan& s) {
    // Each of these warnings needs a ";", a capital or a number-like start; most conditions
    // have none, and are passed over without being split again.
    const char f = s.arg.empty() ? ' ' : s.arg[0];
    const bool number = (f >= '0' && f <= '9') || f == '-' || f == '+' || f == '~' ||
                        f == '$' || f == '"' || f == '`';
    bool semi = false, caps = false;
    for (char ch : s.arg) {
      semi = semi || ch == ';';
      caps = caps || (ch >= 'A' && ch <= 'Z');
    }
    if (!number && !semi && !caps) return;
    const std::optional<op_hit> hit = find_op(s.arg);
    if (!hit) return;
    const std::string_view op = ops[hit->op];
    const size_t at = hit->at;
    const std::string_view lhs = trimx(s.arg.substr(0, at));
    const std::string_view rhs = trimx(s.arg.substr(at + op.size()));
    const size_t c = col(s.arg) + at;
    const size_t comment = semi ? comment_at(s.arg) : std::string_view::npos;
    // A condition split in the wrong place is the one thing to say about it.
    if (comment != std::string_view::npos && comment < at) {
      warn(wname::comment_in_condition, c, op.size(),
           "the condition splits at " + quoted(op) + " inside the comment after " + quoted(";") +
               ": it compares " + quoted(lhs) + " with " + quoted(rhs) +
               "; put the comment on a line of its own");
      return;
    }
    if (hit->op >= 4 && hit->op < 8) {
      size_t b = at, e = at + op.size();
      while (b > 0 && ident_byte(s.arg[b - 1])) --b;
      while (e < s.arg.size() && ident_byte(s.arg[e])) ++e;
      if (b < at || e > at + op.size()) {
        warn(wname::operator_in_name, c, op.size(),
             "the condition splits at " + quoted(op) + " inside the name " +
                 quoted(s.arg.substr(b, e - b)) + ": it compares " + quoted(lhs) + " with " +
                 quoted(rhs) + "; put blanks around the operator, or rename");
        return;
      }
    }
    bool truth = false;
    if (constcmp(lhs, op, rhs, truth) != konst::no) return;  // no cmp is made
    const size_t lc = col(lhs);
    if (nasm_number(lhs)) {
      const std::string kw(s.body.substr(0, s.word));
      warn(wname::number_on_left, lc, lhs.size(),
           quoted(lhs) + " is a number to NASM but not to nestasm, so cmp gets an immediate on "
                         "the left and NASM rejects it; write " +
               quoted(kw + " " + std::string(rhs) + " " + std::string(mirrored(op)) + " " +
                      std::string(lhs)));
    }
    const std::string_view name = capital_name(lhs);
    if (!name.empty())
      warn(wname::lowered_name, col(name), name.size(),
           "the left operand is lower-cased in the cmp: " + quoted(name) + " becomes " +
               quoted(lowerme(std::string(name))) +
               "; write the name in lower case, or put it on the right, which is copied as written");
  }

  [[gnu::noinline]] void else_warnings(const line_scan& s) {
    if (s.arg.empty() || s.arg[0] == ';') return;
    // Text that reads as a condition, or that starts with a statement, was meant to count.
    size_t w = 0;
    while (w < s.arg.size() && s.arg[w] != ' ' && s.arg[w] != '\t') ++w;
    const std::string first = lowerme(std::string(s.arg.substr(0, w)));
    const bool stmt_word = first == "if" || first == "elif" || first == "while";
    if (!stmt_word && !find_op(s.arg)) return;
    std::string_view cond = s.arg;
    if (first == "if" || first == "elif") cond = trimx(s.arg.substr(w));
    const size_t semi = comment_at(s.arg);
    const size_t len = semi == std::string_view::npos ? s.arg.size() : trimx(s.arg.substr(0, semi)).size();
    warn(wname::else_text, col(s.arg), len,
         "the text after " + quoted("else") + " is ignored: this is a plain else, and " +
             quoted(s.arg.substr(0, len)) + " is never tested; write " +
             quoted("elif " + std::string(cond)) + " for another branch");
  }

  [[gnu::noinline]] void plain_warnings(const line_scan& s, size_t closed_now) {
    // Markers after a tab are text.
    if (s.body[0] == '&') {
      size_t t = s.prefix;
      int64_t more = 0;
      for (char ch : s.body) {
        if (ch == '&') ++more;
        else if (ch != ' ' && ch != '\t') break;
      }
      warn(wname::tab_before_marker, t + 1, 1,
           "a tab ends the depth markers: the " + quoted("&") +
               " after it are text, so this line has " + markers(s.depth) + ", not " +
               markers(s.depth + more) + ", and reaches NASM as " + quoted(s.body) +
               "; put only spaces before and between markers");
    }
    // Only a word that starts with one of these letters can be taken for a statement.
    std::string_view word, meant;
    switch (s.body[0] | 0x20) {
      case 'e': case 'f': case 'i': case 'w': {
        size_t wl = 0;
        while (wl < s.body.size() && s.body[wl] != ' ' && s.body[wl] != '\t') ++wl;
        word = s.body.substr(0, wl);
        meant = meant_statement(word);
        break;
      }
      default: break;
    }
    // One thing to say about a line: a line that is no statement, or that defines a label, is
    // not also told that it stays inside its block.
    bool said = false;
    if (!meant.empty()) {
      const bool paren = word.find('(') != std::string_view::npos;
      said = warn(wname::not_a_statement, col(s.body), word.size(),
                  quoted(word) + " is no statement of nestasm, so the line goes to NASM as it "
                                 "stands; " +
                      (paren ? "a keyword needs a blank after it, and a condition takes no "
                               "parentheses: write " + quoted(std::string(meant) + " LEFT OP RIGHT")
                             : "write " + quoted(meant)));
    }
    if (open.empty()) return;
    const opened& top = open.back();
    // A label needs a ":", which few other lines have.
    const std::string_view label =
        s.body.find(':') == std::string_view::npos ? std::string_view() : label_of(s.body);
    if (!label.empty() && label[0] != '.' &&
        warn(wname::label_in_block, col(label), label.size(),
             quoted(label) + " is defined inside " + describe(top) +
                 ": NASM starts a new scope of local labels at it, so the block's jumps before it "
                 "and their labels after it fall into two scopes, and NASM reports \"symbol "
                 "... not defined\"; use a local label " +
                 quoted("." + std::string(label)) + ", or define it outside the block")) {
      note_opened(top);
      said = true;
    }
    if (!said && closed_now == 0 && top.depth == s.depth && top.deeper && !top.flat &&
        warn(wname::missing_end, col(s.body), s.body.size(),
             "this line stays inside " + describe(top) + ": it has as many markers as that "
             "block, " + num(top.depth) + ", and closes nothing, while the block's other lines "
             "have more; if it should follow the block, put " +
                 quoted(std::string(static_cast<size_t>(top.depth), '&') +
                        (top.depth ? " end" : "end")) +
                 " before it"))
      note_opened(top);
  }

  [[gnu::noinline]] void comment_warnings(const line_scan& s) {
    if (s.depth == 0) return;
    const size_t amp = line.find('&');
    warn(wname::marker_on_comment, amp + 1, s.prefix - amp,
         {s.body.empty() ? "a line of only markers" : "a comment with markers",
          " is copied as it stands, markers included, and NASM rejects it; ",
          s.body.empty() ? "leave the line empty, or remove it"
                         : "put the comment after an instruction instead"});
  }

  // --- the pass -------------------------------------------------------------------------------

  // The translation of the line just done, for --lines.
  int64_t directive = -1;
  [[gnu::noinline]] void lines_for(int64_t at, size_t from) {
    const std::string_view made = out_thing.view().substr(from);
    if (made.empty()) return;
    if (directive != at) {
      res.lines += "%line ";
      res.lines += num(at + 1);
      res.lines += "+0 ";
      res.lines += o.file;
      res.lines += '\n';
      directive = at;
    }
    res.lines += made;
  }

  // Flattened: the scanner and the handlers are inlined here as they are in nestasm's own line
  // loop. Called through the library they cost a third more (mix100: 0.41 s to 0.38 s). The
  // warnings and explanations stay calls of their own (noinline): they build text, and are
  // rarely on the way.
  [[gnu::flatten]] void run(std::string_view text) {
    restart();
    file_lines = text;
    size_t pos = 0;
    for (lnum = 0; pos < file_lines.size(); ++lnum) {
      ln = lnum;
      line = next_line(pos);
      const line_scan s = scan_line(line);
      const size_t n0 = stk.size();
      const size_t o0 = out_thing.len;
      const int r = translate_scanned(line, s);
      // The stack after the line's closing by depth, and then after its handler: `if` and
      // `while` push one block, `end` pops one, `elif` and `else` replace the top in place, and
      // a failed statement changes nothing.
      const size_t n1 = stk.size();
      size_t closed_now = n0 - n1;
      if (r == 0 && (s.kind == stmt::if_ || s.kind == stmt::while_)) closed_now = n0 + 1 - n1;
      if (r == 0 && s.kind == stmt::end) closed_now = n0 - n1 - 1;
      const closer how = s.kind != stmt::blank ? by_line : s.body.empty() ? by_blank : by_comment;
      if (r != 0) {
        // The statement's error tells what a waiting closed-by-line would have said.
        flush();
        for (size_t k = 0; k < closed_now; ++k) {
          record_close(open.back(), how, s.depth);
          open.pop_back();
        }
        explain(r, s);
        res.status = r;
        res.stop = ln;
        return;
      }
      if (!pending.empty() && s.kind != stmt::blank) resolve_pending(s.depth);
      if (closed_now > 0) {
        const size_t first = gone.size();
        for (size_t k = 0; k < closed_now; ++k) {
          record_close(open.back(), how, s.depth);
          gone.push_back(open.back());
          open.pop_back();
        }
        // Waiting from here, so that its warning comes before this line's own.
        pending.push_back({ln, line, held.size(), how, s.depth, first, gone.size()});
      }
      switch (s.kind) {
        case stmt::blank: comment_warnings(s); break;
        case stmt::plain:
          plain_warnings(s, closed_now);
          if (!open.empty()) (s.depth > open.back().depth ? open.back().deeper : open.back().flat) = true;
          break;
        case stmt::if_:
        case stmt::while_: {
          condition_warnings(s);
          if (!open.empty()) (s.depth > open.back().depth ? open.back().deeper : open.back().flat) = true;
          opened b;
          b.line = b.branch = ln;
          b.branch_src = line;
          b.depth = s.depth;
          b.kind = s.kind == stmt::if_ ? if_blk : while_blk;
          open.push_back(b);
          break;
        }
        case stmt::elif:
        case stmt::else_: {
          if (s.kind == stmt::elif) condition_warnings(s);
          else else_warnings(s);
          opened& top = open.back();
          top.branch = ln;
          top.branch_src = line;
          top.kind = s.kind == stmt::elif ? if_blk : else_blk;
          top.deeper = top.flat = false;
          break;
        }
        case stmt::end:
          record_close(open.back(), by_end, s.depth);
          open.pop_back();
          break;
      }
      if (o.lines) lines_for(ln, o0);
      if (!o.keep) out_thing.clear();
    }
    const int64_t n = lnum;
    const size_t o0 = out_thing.len;
    close_til(0);
    if (o.lines) lines_for(n > 0 ? n - 1 : 0, o0);
    flush();
  }
};

void collect(const diag& d, void* ctx) { static_cast<std::vector<diag>*>(ctx)->push_back(d); }

}  // namespace

std::string_view name_of(wname w) {
  switch (w) {
    case wname::missing_end: return "missing-end";
    case wname::closed_by_line: return "closed-by-line";
    case wname::else_text: return "else-text";
    case wname::not_a_statement: return "not-a-statement";
    case wname::operator_in_name: return "operator-in-name";
    case wname::comment_in_condition: return "comment-in-condition";
    case wname::marker_on_comment: return "marker-on-comment";
    case wname::tab_before_marker: return "tab-before-marker";
    case wname::lowered_name: return "lowered-name";
    case wname::label_in_block: return "label-in-block";
    case wname::number_on_left: return "number-on-left";
  }
  return {};
}

std::optional<wname> wname_from(std::string_view name) {
  for (int i = 0; i < wname_count; ++i)
    if (name_of(static_cast<wname>(i)) == name) return static_cast<wname>(i);
  return std::nullopt;
}

check_result check_text(std::string_view text, const check_opts& opts, diag_sink sink, void* ctx) {
  checker c(opts, sink, ctx);
  const int saved = err_fd;
  err_fd = -1;  // the explanations replace the fixed messages
  c.run(text);
  err_fd = saved;
  return std::move(c.res);
}

check_result check_text(std::string_view text, const check_opts& opts, std::vector<diag>& out) {
  return check_text(text, opts, collect, &out);
}
