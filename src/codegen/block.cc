// The block stack, and the lines that close a block: its labels and, for a loop, the jump back.
#include "codegen/codegen.h"

std::deque<Bx> stk;

void close_blk(const Bx& b) {
  switch (b.kind) {
    case if_blk:
      emit_lbl(role::if_else, b.else_lbl);
      emit_lbl(role::if_end, b.end_lbl);
      break;
    case else_blk:
      emit_lbl(role::if_end, b.end_lbl);
      break;
    default:
      emit_jump("jmp", role::while_head, b.head_lbl);
      emit_lbl(role::while_end, b.end_lbl);
      break;
  }
}

void close_til(int64_t n) {
  close_til(n, [](const Bx&) {});
}
