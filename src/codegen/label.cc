// The label maker, label and jump lines, and the choice of false jump.
#include "codegen/codegen.h"

#include <bit>
#include <cstring>

#include "common/bytes.h"
#include "cond/cond.h"
#include "out/out.h"

int64_t lbl_n = 0;

// Each role's prefix, padded to 16 bytes and copied as one block: the longest is 12 bytes, and
// a copy of its own length cost 20 instructions of the 77 a label took.
struct lbl_prefix {
  char text[16];
  size_t len;
};
static constexpr lbl_prefix prefixes[] = {
    {".if_else_", 9}, {".if_end_", 8}, {".while_head_", 12}, {".while_end_", 11}};
static_assert([] {
  for (const lbl_prefix& f : prefixes)
    if (std::string_view(f.text).size() != f.len) return false;
  return true;
}());

char* put_lbl(char* p, role r, int64_t n) {
  const lbl_prefix& f = prefixes[static_cast<int>(r)];
  std::memcpy(p, f.text, 16);
  p += f.len;
  const auto v = static_cast<uint64_t>(n);
  if constexpr (std::endian::native == std::endian::little)
    if (v < 100000000) return put_num8(p, v);
  return put_num(p, v);
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

std::string_view jmpfalse(const op_rec* op, bool unsig) {
  return op && op->unsig == unsig ? op->jfalse : "jne";
}
