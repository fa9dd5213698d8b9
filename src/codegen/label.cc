// The label maker and the choice of false jump.
#include "codegen/codegen.h"

#include <charconv>

int64_t lbl_n = 0;

std::string make_lbl(std::string_view prefix) {
  const int64_t n = lbl_n++;
  char num[24];
  char* end = std::to_chars(num, num + sizeof num, n).ptr;
  std::string s;
  s.reserve(prefix.size() + 2 + static_cast<size_t>(end - num));
  s += '.';
  s += prefix;
  s += '_';
  s.append(num, end);
  return s;
}

std::string jmpfalse(std::string_view op, bool unsig) {
  if (unsig) {
    if (op == "UGT") return "jbe";
    if (op == "UGE") return "jb";
    if (op == "ULT") return "jae";
    if (op == "ULE") return "ja";
    return "jne";
  }
  if (op == "==") return "jne";
  if (op == "!=") return "je";
  if (op == ">=") return "jl";
  if (op == "<=") return "jg";
  if (op == ">") return "jle";
  if (op == "<") return "jge";
  return "jne";
}
