// The block stack, and the lines that close a block: its labels and, for a loop, the jump back.
#include "codegen/codegen.h"

#include "out/out.h"

std::vector<Bx> stk;

void close_blk(const Bx& b) {
  switch (b.kind) {
    case if_blk:
      emit(b.else_lbl, ":");
      emit(b.end_lbl, ":");
      break;
    case else_blk:
      emit(b.end_lbl, ":");
      break;
    default:
      emit("jmp ", b.head_lbl);
      emit(b.end_lbl, ":");
      break;
  }
}

void close_til(int64_t n) {
  while (!stk.empty() && stk.back().depth >= n) {
    close_blk(stk.back());
    stk.pop_back();
  }
}
