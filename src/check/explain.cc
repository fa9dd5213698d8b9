// The checker's explanations of nestasm's statement errors: nestasm's message, then where and
// why, with notes at the lines that opened or closed the block meant.
#include "check/check.h"

#include "common/common.h"
#include "cond/cond.h"

// end bad, elif bad, else bad: what is open instead, and what closed the block meant.
static void wrong_block(check_run& c, int status, const line_scan& s) {
  const std::string_view word = s.body.substr(0, s.word);
  const std::string kw = quoted(lowerme(std::string(word)));
  const size_t at = c.col(s.body);
  const bool end = s.kind == stmt::end;
  if (c.open.empty()) {
    c.error(status, at, word.size(),
            end ? "no block is open here, so this end has nothing to end"
                : "no if-block is open here for this " + kw + " to continue");
  } else {
    const opened& top = c.open.back();
    if (top.depth != s.depth) {
      c.error(status, at, word.size(),
              "this " + kw + " has " + markers(s.depth) + ", but the innermost open block, " +
                  describe(top) + ", has " + markers(top.depth));
      note_opened(c, top);
    } else if (top.kind == while_blk) {
      c.error(status, at, word.size(),
              "the innermost open block at this depth is " + describe(top) + "; an " + kw +
                  " continues only an if-block");
      note_opened(c, top);
    } else {
      c.error(status, at, word.size(),
              "the if-block opened at line " + num(top.line + 1) + " already has its else, at line " +
                  num(top.branch + 1) + "; only its end can follow");
      c.note_at(top.branch, top.branch_src, "the else of that if-block is here");
    }
  }
  if (const closed* gone = closed_before(c, s.depth))
    if (end || gone->b.kind != while_blk) note_closed(c, *gone);
}

// bad if, bad elif, bad while: which of the three reasons, and where.
static void no_condition(check_run& c, int status, const line_scan& s) {
  const std::string kw = quoted(lowerme(std::string(s.body.substr(0, s.word))));
  const std::optional<op_hit> hit = find_op(s.arg);
  if (s.arg.empty()) {
    c.error(status, c.col(s.body), s.word, "there is no condition after " + kw);
    return;
  }
  if (!hit) {
    std::string t = quoted(s.arg) + " holds none of the operators";
    for (const op_rec& o : ops) t += " " + std::string(o.text);
    // An unsigned operator in the wrong case is the likely cause.
    std::string up(s.arg);
    for (char& ch : up) ch = ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 32) : ch;
    for (const op_rec& o : ops) {
      if (!o.unsig) continue;
      const size_t at = up.find(o.text);
      if (at == std::string::npos) continue;
      // Only a word of its own: "result" holds "ULT" in another case too.
      if ((at > 0 && ident_byte(up[at - 1])) || (at + 3 < up.size() && ident_byte(up[at + 3])))
        continue;
      t += "; the unsigned operators are written in capitals: " + quoted(o.text) + ", not " +
           quoted(s.arg.substr(at, 3));
      c.error(status, c.col(s.arg) + at, 3, std::move(t));
      return;
    }
    c.error(status, c.col(s.arg), s.arg.size(), std::move(t));
    return;
  }
  const op_rec& op = ops[hit->op];
  const size_t at = hit->at;
  const size_t col = c.col(s.arg) + at;
  if (trimx(s.arg.substr(0, at)).empty()) {
    std::string t = "nothing is left of the operator " + quoted(op.text) + " found at column " +
                    num(static_cast<int64_t>(col));
    size_t e = at + op.text.size();
    while (e < s.arg.size() && ident_byte(s.arg[e])) ++e;
    if (op.unsig && e > at + op.text.size()) t += ", the start of " + quoted(s.arg.substr(at, e - at));
    c.error(status, col, op.text.size(), std::move(t));
    return;
  }
  c.error(status, col, op.text.size(),
          "nothing is right of the operator " + quoted(op.text) + " found at column " +
              num(static_cast<int64_t>(col)));
}

// A status with nothing more to say about it: the error still stands, at its line.
static void stops(check_run& c, int status, const line_scan& s) {
  c.error(status, c.col(s.body), s.body.size(), "the translation stops here");
}

static void imm_left(check_run& c, int status, const line_scan& s) {
  const std::optional<cond3> k = parse_if(s.arg);
  if (!k) return stops(c, status, s);  // cannot be: only a parsed condition is tested
  const size_t at = c.col(s.arg);
  if (isimm2(k->rhs)) {
    c.error(status, at, k->lhs.size(),
            quoted(k->lhs) + " and " + quoted(k->rhs) +
                " are both immediates, not both numbers, so the condition is not decided now "
                "and cmp cannot compare them; load one into a register first");
    return;
  }
  const std::string kw(s.body.substr(0, s.word));
  c.error(status, at, k->lhs.size(),
          quoted(k->lhs) + " on the left is an immediate, and cmp takes none there; write " +
              quoted(kw + " " + std::string(k->rhs) + " " + std::string(op_find(k->op)->mirror) +
                     " " + std::string(k->lhs)));
}

static void big(check_run& c, int status, const line_scan& s) {
  const std::optional<cond3> k = parse_if(s.arg);
  if (!k) return stops(c, status, s);
  const bool left = !numparse(k->lhs);
  const std::string_view n = left ? k->lhs : k->rhs;
  const size_t at = left ? 0 : s.arg.size() - k->rhs.size();
  c.error(status, c.col(s.arg) + at, n.size(),
          quoted(n) + " is above 9223372036854775807 (2^63-1), the largest number a condition "
                      "between two numbers can hold");
}

void explain(check_run& c, int status, const line_scan& s) {
  switch (static_cast<st>(status)) {
    case st::bad_if: case st::bad_elif: case st::bad_while: no_condition(c, status, s); break;
    case st::imm_lhs_if: case st::imm_lhs_elif: case st::imm_lhs_while: imm_left(c, status, s); break;
    case st::elif_bad: case st::else_bad: case st::end_bad: wrong_block(c, status, s); break;
    case st::big_num: big(c, status, s); break;
    default: stops(c, status, s); break;
  }
}
