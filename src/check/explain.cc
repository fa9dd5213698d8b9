// The checker's explanations of nestasm's statement errors: nestasm's message and the cause in a
// headline that names the decisive line, then notes at the lines that opened or closed the
// block meant, and a suggestion when there is a mechanical one that holds.
#include "check/run.h"

#include "common/common.h"
#include "cond/cond.h"

// The line `g.by`, which closed the block meant, put right: a line of assembly that closed it by
// its depth, or an end that ended it in place of a block inside it, with the markers of the
// block's own lines; a blank line removed; a comment line moved to the end of the line before.
static std::vector<edit> remark(const check_run& c, const closed& g) {
  const line_scan s = scan_line(g.by_src);
  if (g.how == closed_by::blank)
    return {remove_line(g.by)};
  if (g.how == closed_by::comment) return comment_up(c.text, g.by, g.by_src);
  if (g.how == closed_by::line ? s.kind != stmt::plain : g.how != closed_by::end) return {};
  return {edit{g.by + 1, 1, marker_run(g.by_src) + 1, markers_like(g.b.open_src, g.b.depth + 1)}};
}

// This statement line rewritten with the markers of `depth`, as `like` writes them, into `fix`
// and `put` when that holds.
static bool remarked(check_run& c, int status, const line_scan& s, std::string_view like,
                     int64_t depth, std::vector<edit>& fix, std::string& put, std::string& why) {
  put = markers_like(like, depth) + std::string(word_of(s));
  fix = {here(c, 1, s.prefix + s.word, put)};
  return offer(c, -status, fix, why);
}

// end bad, elif bad, else bad: what is open instead, and what closed the block meant.
static void wrong_block(check_run& c, int status, const line_scan& s) {
  const std::string_view word = word_of(s);
  const std::string kw = quoted(lowerme(std::string(word)));
  const size_t at = c.col(s.body);
  const bool end = s.kind == stmt::end;
  const opened* top = c.open.empty() ? nullptr : &c.open.back();
  const closed* gone = closed_before(c, s.depth);
  if (gone && !end && gone->b.kind == while_blk) gone = nullptr;
  // This line's own rewrite, tried once: its markers made those of the block open (for an
  // `end`, or an elif or else under an if-block), or, for an `end` with nothing open, the line
  // removed.
  // A misspelt if or while at this depth, after the block open now, was the block meant.
  for (auto m = c.slips.rbegin(); m != c.slips.rend(); ++m) {
    if (top && m->line < top->line) break;
    const bool fits = end ? m->meant == "if" || m->meant == "while" : m->meant != "while";
    if (m->depth != s.depth || !fits) continue;
    std::vector<edit> fix = m->fix;
    std::string why;
    const bool ok = offer(c, -status, fix, why);
    c.error(status, at, word.size(),
            "line " + num(m->line + 1) + "'s " + quoted(m->word) + " was meant to " +
                (end ? "open the block this " : "open the if-block this ") + kw +
                (end ? " ends" : " continues") +
                (ok ? "; write " + quoted(m->rewrite) + " there" : ""),
            fix);
    c.note_at(m->line, m->src, quoted(m->word) + " is no statement: the line reaches NASM as it "
                                               "stands, and opens no block");
    why_not(c, quoted(m->rewrite), why);
    return;
  }
  std::vector<edit> mine;
  std::string put, why_mine;
  bool mine_ok = false, mine_tried = false;
  const auto try_mine = [&] {
    if (mine_tried) return mine_ok;
    mine_tried = true;
    if (top && top->depth != s.depth && (top->kind == if_blk || end)) {
      mine_ok = remarked(c, status, s, top->open_src, top->depth, mine, put, why_mine);
    } else if (!top && end) {
      mine = {remove_line(c.ln)};
      mine_ok = offer(c, -status, mine, why_mine);
    }
    return mine_ok;
  };
  if (gone && (gone->how == closed_by::line || gone->how == closed_by::end || !top ||
               top->depth != s.depth)) {
    // The decisive line is the one that closed the block meant, unless it cannot be put right
    // and this line can.
    std::vector<edit> fix = remark(c, *gone);
    std::string why;
    const bool ok = offer(c, -status, fix, why);
    if (ok || !try_mine()) {
      const std::string by = gone->how == closed_by::end
                                 ? "line " + num(gone->by + 1) + "'s `end`"
                                 : "line " + num(gone->by + 1);
      c.error(status, at, word.size(),
              by + " closed " + named(gone->b) +
                  (!ok                               ? ""
                   : gone->how == closed_by::blank   ? "; remove line " + num(gone->by + 1)
                   : gone->how == closed_by::comment
                       ? "; move line " + num(gone->by + 1) + " to the end of line " + num(gone->by)
                                                     : "; line " + num(gone->by + 1) + " needs " +
                                                           markers(gone->b.depth + 1)),
              fix);
      if (!top) c.say("no block is open here for this " + kw);
      else if (top->depth != s.depth)
        c.say("this " + kw + " has " + markers(s.depth) + "; the innermost open block, " +
              named(*top) + ", has " + num(top->depth));
      // An end is seldom an end one marker short; what giving it one would do is no news.
      if (gone->how == closed_by::line)
        why_not(c, "giving line " + num(gone->by + 1) + " " + markers(gone->b.depth + 1), why);
      note_closed(c, *gone);
      return;
    }
  }
  if (!top) {
    try_mine();
    c.error(status, at, word.size(),
            (end ? "no block is open here, so this `end` has nothing to end"
                 : "no if-block is open here for this " + kw + " to continue") +
                std::string(mine_ok ? "; remove it" : ""),
            mine);
  } else if (top->depth != s.depth) {
    try_mine();
    c.error(status, at, word.size(),
            "this " + kw + " has " + markers(s.depth) + ", but " + named(*top) + " has " +
                (top->depth ? num(top->depth) : std::string("none")) +
                (mine_ok ? "; write " + quoted(put) : ""),
            mine);
    if (!put.empty()) why_not(c, quoted(put), why_mine);
    note_opened(c, *top);
  } else if (top->kind == while_blk) {
    // An elif or else one marker short closes the if-block it was meant for, deeper than the
    // loop: given that block's markers, it continues it.
    const closed* meant = nullptr;
    for (size_t d = static_cast<size_t>(s.depth) + 1; d < c.last.size() && !meant; ++d)
      if (c.last[d].by == c.ln && c.last[d].b.kind == if_blk) meant = &c.last[d];
    const bool ok = meant && remarked(c, status, s, meant->b.open_src, meant->b.depth, mine, put,
                                      why_mine);
    c.error(status, at, word.size(),
            "the block open here is " + named(*top) + ", not an if" +
                (ok ? "; write " + quoted(put) : ""),
            ok ? mine : std::vector<edit>{});
    if (ok) c.say("this " + kw + " closed " + named(meant->b) + ", which has " +
                  markers(meant->b.depth));
    note_opened(c, *top);
  } else {
    c.error(status, at, word.size(),
            "the if-block of line " + num(top->line + 1) + " already has its else, at line " +
                num(top->branch + 1));
    c.say("only its end can follow");
    c.note_at(top->branch, top->branch_src, "the else of that if-block is here");
  }
  if (gone) note_closed(c, *gone);
}

// bad if, bad elif, bad while: which of the three reasons, and where.
static void no_condition(check_run& c, int status, const line_scan& s) {
  const std::string kw = quoted(lowerme(std::string(word_of(s))));
  if (s.arg.empty()) {
    c.error(status, c.col(s.body), s.word, "there is no condition after " + kw);
    return;
  }
  std::string all = "the operators are";
  for (const op_rec& o : ops) all += " " + std::string(o.text);
  // Where the translator split it: no operator, or one that leaves a side empty.
  const cond_split p = split_cond(s.arg);
  if (const std::optional<lookalike> l = find_lookalike(s.arg); l && !p.op) {
    const size_t col = c.col(s.arg) + l->at;
    std::vector<edit> fix = {here(c, col, l->len, std::string(l->meant))};
    std::string why;
    const bool ok = offer(c, -status, fix, why);
    const std::string_view wrote = s.arg.substr(l->at, l->len);
    const bool caps = l->len == 3 && (wrote[0] | 0x20) == 'u';
    c.error(status, col, l->len,
            quoted(wrote) + " is no operator" + (ok ? "; write " + quoted(l->meant) : ""), fix);
    c.say(caps ? "the unsigned operators are written in capitals: " + quoted(l->meant)
               : std::move(all));
    why_not(c, quoted(l->meant), why);
    return;
  }
  if (!p.op) {
    c.error(status, c.col(s.arg), s.arg.size(), quoted(s.arg) + " holds no comparison");
    if (s.arg.find_first_of("(&|{!") != std::string_view::npos)
      c.say("this reads as C: a condition is two operands around one operator, and the depth "
            "markers make the block; " + all);
    else
      c.say("a condition is two operands around one operator; " + all);
    return;
  }
  const op_rec& op = *p.op;
  const size_t at = p.at;
  const size_t col = c.col(s.arg) + at;
  if (p.lhs.empty()) {
    std::string t = "nothing is left of " + quoted(op.text);
    size_t e = at + op.text.size();
    while (e < s.arg.size() && ident_byte(s.arg[e])) ++e;
    if (op.unsig && e > at + op.text.size()) t += ", the start of " + quoted(s.arg.substr(at, e - at));
    c.error(status, col, op.text.size(), std::move(t));
    return;
  }
  c.error(status, col, op.text.size(), "nothing is right of " + quoted(op.text));
}

// A status with nothing more to say about it: the error still stands, at its line.
static void stops(check_run& c, int status, const line_scan& s) {
  c.error(status, c.col(s.body), s.body.size(), "the translation stops here");
}

static void imm_left(check_run& c, int status, const line_scan& s) {
  const std::optional<cond3> k = parse_if(s.arg);
  if (!k) return stops(c, status, s);  // cannot be: only a parsed condition is tested
  const size_t at = c.col(s.arg);
  const size_t semi = comment_at(k->rhs);
  const std::string_view rhs = trimx(k->rhs.substr(0, semi));
  const std::string turned = turned_round(k->lhs, *op_find(k->op), k->rhs);
  if (semi != std::string_view::npos && isnum2(k->lhs) && isnum2(rhs)) {
    // A comment after a condition between two numbers: the comment is part of the right
    // operand, which is then no number, so nothing is decided now.
    const std::string_view comment = trimx(k->rhs.substr(semi));
    const size_t cut = c.col(rhs) + rhs.size();
    std::vector<edit> fix = {insert_line(c.ln, std::string(comment), c.eol),
                             here(c, cut, c.line.size() + 1 - cut, "")};
    std::string why;
    const bool ok = offer(c, -status, fix, why);
    c.error(status, c.col(k->rhs), k->rhs.size(),
            "the comment makes " + quoted(k->rhs) + " no number" + (ok ? "; move it up" : ""),
            fix);
    c.say("a condition runs to the end of its line; " +
          quoted(std::string(word_of(s)) + " " + std::string(trimx(s.arg.substr(0, comment_at(s.arg))))) +
          " alone is decided now, and makes no cmp");
    why_not(c, "the comment on a line of its own", why);
    return;
  }
  if (isimm2(rhs)) {
    c.error(status, at, k->lhs.size(),
            quoted(k->lhs) + " and " + quoted(rhs) + " are both immediates: cmp takes one at most");
    c.say("they are not both numbers, so nothing is decided now; load one into a register first");
    return;
  }
  std::vector<edit> fix = {here(c, at, c.col(rhs) + rhs.size() - at, turned)};
  std::string why;
  const bool ok = offer(c, -status, fix, why);
  const std::string kw(word_of(s));
  c.error(status, at, k->lhs.size(),
          ok ? "cmp takes no immediate on the left; write " + quoted(kw + " " + turned)
             : quoted(k->lhs) + " on the left is an immediate, which cmp does not take",
          fix);
  why_not(c, quoted(kw + " " + turned), why);
}

static void big(check_run& c, int status, const line_scan& s) {
  const std::optional<cond3> k = parse_if(s.arg);
  if (!k) return stops(c, status, s);
  const bool left = !numparse(k->lhs);
  const std::string_view n = left ? k->lhs : k->rhs;
  const size_t at = left ? 0 : s.arg.size() - k->rhs.size();
  c.error(status, c.col(s.arg) + at, n.size(), quoted(n) + " is above 2^63-1");
  c.say("9223372036854775807 is the largest number a condition between two numbers can hold");
}

// What makes a statement error not the statement's own: it stands in text NASM skips, or its
// word is a macro of the file. True when told.
static bool not_its_own(check_run& c, int status, const line_scan& s) {
  if (const region* r = skipped(c)) {
    std::vector<edit> fix = comment_out(c, r->line, -1);
    std::string why;
    const bool ok = offer(c, -status, fix, why);
    c.error(status, c.col(s.body), s.word,
            hides(r->src, r->line, s) +
                (ok ? "; put " + quoted(";") + (fix.size() == 1 ? " before it" : " before its statements")
                    : std::string()),
            fix);
    c.say("nestasm reads a statement wherever it stands, in text NASM skips too");
    why_not(c, "making its statements comments", why);
    return true;
  }
  for (const nasm_def& d : c.defs) {
    if (!calls(d, word_of(s))) continue;
    tell_macro(c, -status, s, d);
    return true;
  }
  return false;
}

[[gnu::noinline]] void explain(check_run& c, int status, const line_scan& s) {
  if (not_its_own(c, status, s)) return;
  switch (static_cast<st>(status)) {
    case st::bad_if: case st::bad_elif: case st::bad_while: no_condition(c, status, s); break;
    case st::imm_lhs_if: case st::imm_lhs_elif: case st::imm_lhs_while: imm_left(c, status, s); break;
    case st::elif_bad: case st::else_bad: case st::end_bad: wrong_block(c, status, s); break;
    case st::big_num: big(c, status, s); break;
    default: stops(c, status, s); break;
  }
}
