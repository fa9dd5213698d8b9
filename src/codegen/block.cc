// The block stack, and the lines that close a block: its labels and, for a loop, the jump back.
#include "codegen/codegen.h"

#include "driver/driver.h"

std::vector<Bx> stk;

void close_blk(const Bx& b) {
  switch (b.kind) {
    case 0:
      emit(b.else_lbl, ":");
      emit(b.end_lbl, ":");
      break;
    case 1:
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
