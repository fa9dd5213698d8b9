// The five statement handlers: each turns one control line into flat assembly and keeps the
// block stack in step with the nesting.
#include "codegen/codegen.h"

#include "common/bytes.h"
#include "common/common.h"
#include "cond/cond.h"
#include "out/out.h"

// Append "cmp lhs, rhs", the left operand lower-cased as lowerme does while it is copied, and
// the jump `jump` to the label, made in one piece of room.
static void emit_test(std::string_view lhs, std::string_view rhs, std::string_view jump, role r,
                      int64_t target) {
  char* p = out_thing.room(4 + lhs.size() + 2 + rhs.size() + 1 + jump.size() + 1 + 32 + 1);
  p = put(p, "cmp ");
  for (char c : lhs) *p++ = lower(c);
  p = put(p, ", ");
  p = put(p, rhs);
  *p++ = '\n';
  p = put(p, jump);
  *p++ = ' ';
  p = put_lbl(p, r, target);
  *p++ = '\n';
  out_thing.len = static_cast<size_t>(p - out_thing.buf);
}

// Emit the test of `c`: nothing when it is constantly true, a jump to the false target when it
// is constantly false, otherwise a cmp and the jump to it taken when `c` is false. `imm` is the
// status for an immediate on the left of a comparison made at run time.
static int test_cond(const cond3& c, role r, int64_t target, st imm) {
  // Only a condition with an immediate on the left can be decided now or refused; most have a
  // register or memory there, and are spared the number tests.
  if (isimm2(c.lhs)) {
    bool truth = false;
    switch (constcmp(c.lhs, c.op, c.rhs, truth)) {
      case konst::big:
        return bail(st::big_num);
      case konst::yes:
        if (!truth) emit_jump("jmp", r, target);
        return 0;
      case konst::no:
        return bail(imm);
    }
  }
  const op_rec* o = c.rec ? c.rec : op_find(c.op);
  emit_test(c.lhs, c.rhs, jmpfalse(o, o && o->unsig), r, target);
  return 0;
}

// A new block on top of the stack.
static void open_blk(int kind, int64_t depth, int64_t lbl, int64_t end) {
  stk.push_back(make_bx(kind, depth, lbl, end));
}

// elif and else continue an if-branch opened at their own depth, and nothing else.
static bool if_on_top(int64_t depth) {
  return !stk.empty() && stk.back().kind == if_blk && stk.back().depth == depth;
}

int do_if(int64_t depth, std::string_view arg) {
  std::optional<cond3> c = parse_if(arg);
  if (!c) return bail(st::bad_if);
  const int64_t e = make_lbl();
  const int64_t n = make_lbl();
  if (int r = test_cond(*c, role::if_else, e, st::imm_lhs_if)) return r;
  open_blk(if_blk, depth, e, n);
  return 0;
}

int do_elif(int64_t depth, std::string_view arg) {
  if (!if_on_top(depth)) return bail(st::elif_bad);
  // The top block is replaced by the new branch, which keeps the chain's end label.
  Bx& top = stk.back();
  // The branch before falls out to the end of the chain; its false jump lands on the new test.
  emit_jump("jmp", role::if_end, top.end_lbl);
  emit_lbl(role::if_else, top.else_lbl);
  std::optional<cond3> c = parse_if(arg);
  if (!c) return bail(st::bad_elif);
  const int64_t e = make_lbl();
  if (int r = test_cond(*c, role::if_else, e, st::imm_lhs_elif)) return r;
  top.else_lbl = e;
  return 0;
}

int do_else(int64_t depth, std::string_view) {
  if (!if_on_top(depth)) return bail(st::else_bad);
  // The top block becomes the else-branch of the same chain, with the same end label.
  Bx& top = stk.back();
  emit_jump("jmp", role::if_end, top.end_lbl);
  emit_lbl(role::if_else, top.else_lbl);
  top.kind = else_blk;
  top.else_lbl = 0;
  return 0;
}

int do_while(int64_t depth, std::string_view arg) {
  std::optional<cond3> c = parse_if(arg);
  if (!c) return bail(st::bad_while);
  const int64_t h = make_lbl();
  const int64_t n = make_lbl();
  emit_lbl(role::while_head, h);
  // A constantly false loop jumps straight to its end; a constantly true one has no test and is
  // left only by a jump in its body.
  if (int r = test_cond(*c, role::while_end, n, st::imm_lhs_while)) return r;
  open_blk(while_blk, depth, h, n);
  return 0;
}

int do_end(int64_t depth, std::string_view) {
  if (stk.empty() || stk.back().depth != depth) return bail(st::end_bad);
  close_blk(stk.back());
  stk.pop_back();
  return 0;
}
