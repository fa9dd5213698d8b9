// The label maker and the choice of false jump.
#include "codegen/codegen.h"

#include "common/bytes.h"

int64_t lbl_n = 0;

// The digits of the number last given out, kept as text at the end of `digits`. Numbers are
// given out one after the other, so the next one's text is this one's plus one.
static char digits[20];
static size_t ndigits = 0;
static int64_t shown = -1;

static std::string_view digits_of(int64_t n) {
  char* const end = digits + sizeof digits;
  if (shown < 0 || n != shown + 1) {  // the first label, or lbl_n was set
    uint64_t v = static_cast<uint64_t>(n);
    ndigits = 0;
    do {
      *(end - ++ndigits) = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0);
  } else {
    next_decimal(end, ndigits);
  }
  shown = n;
  return {end - ndigits, ndigits};
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
  char* p = put(buf + 1, prefix);
  *p++ = '_';
  p = put(p, digits_of(n));
  return std::string(buf, p);
}

void reset_codegen() {
  stk.clear();
  lbl_n = 0;
  shown = -1;  // the cached digits belong to the run before
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
