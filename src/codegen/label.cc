// The label maker, label and jump lines, and the choice of false jump.
#include "codegen/codegen.h"

#include <bit>

#include "common/bytes.h"
#include "cond/cond.h"
#include "out/out.h"

int64_t lbl_n = 0;

static constexpr std::string_view prefixes[] = {".if_else_", ".if_end_", ".while_head_",
                                                ".while_end_"};

char* put_lbl(char* p, role r, int64_t n) {
  p = put(p, prefixes[static_cast<int>(r)]);
  const auto v = static_cast<uint64_t>(n);
  if constexpr (std::endian::native == std::endian::little)
    if (v < 100000000) return put_num8(p, v);
  return put_num(p, v);
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

std::string_view jmpfalse(const op_rec& op, bool unsig) {
  return op.unsig == unsig ? op.jfalse : "jne";
}

std::string_view jmpfalse(std::string_view op, bool unsig) {
  const op_rec* r = op_find(op);
  return r ? jmpfalse(*r, unsig) : "jne";
}
