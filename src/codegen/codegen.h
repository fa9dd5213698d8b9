// Code generation: labels, false jumps, the stack of open blocks and the five statement handlers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One open block. kind 0 is an if-branch, 1 an else-branch, 2 a while loop.
struct Bx {
  int kind = 0;
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
