// The label maker and the choice of false jump.
#include "codegen/codegen.h"

#include <cstring>

int64_t lbl_n = 0;

// Write the digits of `n` (0 or more) at `p` and return the end of them. std::to_chars, which
// handles every base and sign, took as long as the rest of making a label.
static char* decimal(char* p, int64_t n) {
  char tmp[20];
  char* t = tmp + sizeof tmp;
  uint64_t v = static_cast<uint64_t>(n);
  do {
    *--t = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  const size_t len = static_cast<size_t>(tmp + sizeof tmp - t);
  std::memcpy(p, t, len);
  return p + len;
}

std::string make_lbl(std::string_view prefix) {
  const int64_t n = lbl_n++;
  // Built in place and copied once: a label is made for every statement.
  char buf[64];
  if (prefix.size() > sizeof buf - 24) {
    std::string s(1, '.');
    s.append(prefix).append(1, '_').append(std::to_string(n));
    return s;
  }
  buf[0] = '.';
  std::memcpy(buf + 1, prefix.data(), prefix.size());
  char* p = buf + 1 + prefix.size();
  *p++ = '_';
  p = decimal(p, n);
  return std::string(buf, p);
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
