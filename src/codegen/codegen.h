// Code generation: labels, false jumps, the stack of open blocks and the five statement handlers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The kinds of open block.
enum : int {
  if_blk = 0,     // an if or elif branch, waiting for elif, else or its end
  else_blk = 1,   // the else branch of an if chain
  while_blk = 2,  // a loop
};

// One open block.
struct Bx {
  int kind = if_blk;
  int64_t depth = 0;     // depth markers on the line that opened it
  std::string else_lbl;  // if-branch: where its false jump lands
  std::string end_lbl;   // after the whole construct; never empty
  std::string head_lbl;  // while loop: the top, where the condition is tested
};

// Open blocks, innermost at the back. Depths never decrease from bottom to top.
extern std::vector<Bx> stk;

// The next label number; one counter for every prefix, so no label is made twice in a run.
extern int64_t lbl_n;

// A fresh label: "." + prefix + "_" + number. For instance the first make_lbl("if_end") of a run
// returns ".if_end_0".
std::string make_lbl(std::string_view prefix);

// The jump mnemonic taken when `op` is false after `cmp lhs, rhs`; `unsig` selects the table of
// the unsigned word operators. Anything not in the chosen table gives "jne".
std::string jmpfalse(std::string_view op, bool unsig);

// Append the closing lines of `b` to the output.
void close_blk(const Bx& b);

// Close, innermost first, every open block whose depth is `n` or more.
void close_til(int64_t n);

// The statement handlers. Each returns 0, or the status of a statement error after writing its
// message to standard error.
int do_if(int64_t depth, std::string_view arg);
int do_elif(int64_t depth, std::string_view arg);
int do_else(int64_t depth, std::string_view arg);
int do_while(int64_t depth, std::string_view arg);
int do_end(int64_t depth, std::string_view arg);

// Forget every open block and start labels again at 0, as in a new process.
void reset_codegen();
