// The five statement handlers: each turns one control line into flat assembly and keeps the
// block stack in step with the nesting.
#include "codegen/codegen.h"

#include "common/common.h"
#include "cond/cond.h"
#include "out/out.h"

static bool unsigned_op(std::string_view op) {
  return op == "UGT" || op == "UGE" || op == "ULT" || op == "ULE";
}

// Emit the test of `c`: nothing when it is constantly true, "jmp target" when it is constantly
// false, otherwise a cmp and the jump to `target` taken when it is false. `imm` is the status
// for an immediate on the left of a comparison made at run time.
static int test_cond(const cond3& c, std::string_view target, st imm) {
  bool truth = false;
  switch (constcmp(c.lhs, c.op, c.rhs, truth)) {
    case konst::big:
      return bail(st::big_num);
    case konst::yes:
      if (!truth) emit("jmp ", target);
      return 0;
    case konst::no:
      break;
  }
  if (isimm2(c.lhs)) return bail(imm);
  emit("cmp ", lowerme(c.lhs), ", ", c.rhs);
  emit(jmpfalse(c.op, unsigned_op(c.op)), " ", target);
  return 0;
}

// A new block on top of the stack, for the caller to give its labels. Made where it stays: a
// Bx made aside and moved in copied each of its short labels twice.
static Bx& open_blk(int kind, int64_t depth) {
  Bx& b = stk.emplace_back();
  b.kind = kind;
  b.depth = depth;
  return b;
}

// elif and else continue an if-branch opened at their own depth, and nothing else.
static bool if_on_top(int64_t depth) {
  return !stk.empty() && stk.back().kind == if_blk && stk.back().depth == depth;
}

int do_if(int64_t depth, std::string_view arg) {
  std::optional<cond3> c = parse_if(arg);
  if (!c) return bail(st::bad_if);
  std::string e = make_lbl("if_else");
  std::string n = make_lbl("if_end");
  if (int r = test_cond(*c, e, st::imm_lhs_if)) return r;
  Bx& b = open_blk(if_blk, depth);
  b.else_lbl = std::move(e);
  b.end_lbl = std::move(n);
  return 0;
}

int do_elif(int64_t depth, std::string_view arg) {
  if (!if_on_top(depth)) return bail(st::elif_bad);
  // The top block is replaced by the new branch, which keeps the chain's end label.
  Bx& top = stk.back();
  // The branch before falls out to the end of the chain; its false jump lands on the new test.
  emit("jmp ", top.end_lbl);
  emit(top.else_lbl, ":");
  std::optional<cond3> c = parse_if(arg);
  if (!c) return bail(st::bad_elif);
  std::string e = make_lbl("if_else");
  if (int r = test_cond(*c, e, st::imm_lhs_elif)) return r;
  top.else_lbl = std::move(e);
  return 0;
}

int do_else(int64_t depth, std::string_view) {
  if (!if_on_top(depth)) return bail(st::else_bad);
  // The top block becomes the else-branch of the same chain, with the same end label.
  Bx& top = stk.back();
  emit("jmp ", top.end_lbl);
  emit(top.else_lbl, ":");
  top.kind = else_blk;
  top.else_lbl.clear();
  return 0;
}

int do_while(int64_t depth, std::string_view arg) {
  std::optional<cond3> c = parse_if(arg);
  if (!c) return bail(st::bad_while);
  std::string h = make_lbl("while_head");
  std::string n = make_lbl("while_end");
  emit(h, ":");
  // A constantly false loop jumps straight to its end; a constantly true one has no test and is
  // left only by a jump in its body.
  if (int r = test_cond(*c, n, st::imm_lhs_while)) return r;
  Bx& b = open_blk(while_blk, depth);
  b.end_lbl = std::move(n);
  b.head_lbl = std::move(h);
  return 0;
}

int do_end(int64_t depth, std::string_view) {
  if (stk.empty() || stk.back().depth != depth) return bail(st::end_bad);
  close_blk(stk.back());
  stk.pop_back();
  return 0;
}
