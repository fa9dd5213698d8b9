// The label maker, label and jump lines, and the choice of false jump.
#include "codegen/codegen.h"

#include "common/bytes.h"
#include "out/out.h"

int64_t lbl_n = 0;

static constexpr std::string_view prefixes[] = {".if_else_", ".if_end_", ".while_head_",
                                                ".while_end_"};

char* put_lbl(char* p, role r, int64_t n) {
  p = put(p, prefixes[static_cast<int>(r)]);
  return put_num(p, static_cast<uint64_t>(n));
}

std::string make_lbl(std::string_view prefix) {
  const int64_t n = new_lbl();
  std::string s(1, '.');
  s.append(prefix).append(1, '_').append(std::to_string(n));
  return s;
}

void emit_lbl(role r, int64_t n) {
  char* p = out_thing.room(34);
  p = put_lbl(p, r, n);
  *p++ = ':';
  *p++ = '\n';
  out_thing.len = static_cast<size_t>(p - out_thing.buf);
}

void emit_jump(std::string_view mnemonic, role r, int64_t n) {
  char* p = out_thing.room(mnemonic.size() + 34);
  p = put(p, mnemonic);
  *p++ = ' ';
  p = put_lbl(p, r, n);
  *p++ = '\n';
  out_thing.len = static_cast<size_t>(p - out_thing.buf);
}

void reset_codegen() {
  stk.clear();
  lbl_n = 0;
}

std::string_view jmpfalse(std::string_view op, bool unsig) {
  // By length and bytes rather than by comparing texts one after another: it runs for every
  // condition, and the chain of comparisons cost more than the rest of the jump line.
  if (unsig) {
    if (op.size() != 3 || op[0] != 'U') return "jne";
    if (op[1] == 'G') return op[2] == 'T' ? "jbe" : op[2] == 'E' ? "jb" : "jne";
    if (op[1] == 'L') return op[2] == 'T' ? "jae" : op[2] == 'E' ? "ja" : "jne";
    return "jne";
  }
  if (op.size() == 1) return op[0] == '>' ? "jle" : op[0] == '<' ? "jge" : "jne";
  if (op.size() != 2 || op[1] != '=') return "jne";
  switch (op[0]) {
    case '=': return "jne";
    case '!': return "je";
    case '>': return "jl";
    case '<': return "jg";
    default: return "jne";
  }
}
