// Code generation: labels, false jumps, the stack of open blocks and the five statement handlers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <deque>

struct op_rec;

// The kinds of open block.
enum : int {
  if_blk = 0,     // an if or elif branch, waiting for elif, else or its end
  else_blk = 1,   // the else branch of an if chain
  while_blk = 2,  // a loop
};

// One open block. Its labels are kept as their numbers; their text is made when a line that
// names them is written, from the number and the role the block's kind gives it. 24 bytes: a
// million blocks open at once, as in generated code, cost 24 MB, where the labels' strings cost
// 112 bytes a block and more.
struct Bx {
  int64_t kind : 3 = if_blk;
  int64_t depth : 61 = 0;  // depth markers on the line that opened it
  union {
    int64_t else_lbl = 0;  // if-branch: where its false jump lands
    int64_t head_lbl;      // while loop: the top, where the condition is tested
  };
  int64_t end_lbl = 0;  // after the whole construct
};

// Open blocks, innermost at the back. Depths never decrease from bottom to top. A deque, not a
// vector: it grows a block of entries at a time, where a vector's doubling holds the old and the
// new copy at once, half again as much memory at its peak.
extern std::deque<Bx> stk;

// The next label number; one counter for every prefix, so no label is made twice in a run.
extern int64_t lbl_n;

// What a generated label is for; each role has its prefix.
enum class role { if_else, if_end, while_head, while_end };

// The label maker: a fresh label's number, taken from lbl_n, so no label is made twice in a run.
// A label is kept as its number; its text, "." + the role's prefix + "_" + the number, is
// written by put_lbl when a line names it (the first label of a run, for an if's false branch,
// is ".if_else_0").
inline int64_t make_lbl() { return lbl_n++; }

// Write the label of `r` numbered `n` at `p` and return its end. The label takes at most 32
// bytes, and the 32 bytes at `p` may all be written: those past the end are left over.
char* put_lbl(char* p, role r, int64_t n);

// Append the line that defines the label: the label and ":".
void emit_lbl(role r, int64_t n);

// Append the jump `mnemonic` to the label.
void emit_jump(std::string_view mnemonic, role r, int64_t n);

// The jump mnemonic taken when `op` is false after `cmp lhs, rhs`; `unsig` selects the table of
// the unsigned word operators. An operator not in the chosen table, or none (null), gives
// "jne". The text is a constant: it is copied into a line at once. It takes the operator's
// record, which the parser hands over with the condition: looking the text up again for every
// condition cost 36 instructions an `if` (3% of a deep stack).
std::string_view jmpfalse(const op_rec* op, bool unsig);

// Append the closing lines of `b` to the output.
void close_blk(const Bx& b);

// Close, innermost first, every open block whose depth is `n` or more.
void close_til(int64_t n);

// The same, calling `each` with every block just before it is closed, for a caller that
// watches blocks close.
template <class Each>
void close_til(int64_t n, Each&& each) {
  while (!stk.empty() && stk.back().depth >= n) {
    each(stk.back());
    close_blk(stk.back());
    stk.pop_back();
  }
}

// A new open block: `lbl` is the if-branch's else label or the loop's head label, whichever
// the kind has. Written through the member that the kind reads, so the union is never read
// through the other one.
constexpr Bx make_bx(int kind, int64_t depth, int64_t lbl, int64_t end) {
  Bx b;
  b.kind = kind;
  b.depth = depth;
  if (kind == while_blk) b.head_lbl = lbl;
  else b.else_lbl = lbl;
  b.end_lbl = end;
  return b;
}

// The statement handlers. Each returns 0, or the status of a statement error after writing its
// message to standard error.
int do_if(int64_t depth, std::string_view arg);
int do_elif(int64_t depth, std::string_view arg);
int do_else(int64_t depth, std::string_view arg);
int do_while(int64_t depth, std::string_view arg);
int do_end(int64_t depth, std::string_view arg);

// Forget every open block and start labels again at 0, as in a new process.
void reset_codegen();
