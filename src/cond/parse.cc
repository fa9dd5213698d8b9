// The condition parser: the first operator of the table that occurs anywhere splits the text.
#include "cond/cond.h"

#include "common/common.h"

#include <cstdint>

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

// The place in `ops` of the best-placed operator that starts at s[i], or ops.size() for none.
static size_t op_at(std::string_view s, size_t i) {
  for (const uint8_t k : starts[static_cast<unsigned char>(s[i])]) {
    if (k == 0xff) break;
    const std::string_view t = ops[k].text;
    if (s.size() - i < t.size()) continue;
    size_t j = 1;  // the first byte chose the entry
    while (j < t.size() && s[i + j] == t[j]) ++j;
    if (j == t.size()) return k;
  }
  return ops.size();
}

// The bytes an operator can begin with. Most bytes of a condition are none of them, and this
// one test lets the scan pass over them.
static bool op_start(char c) { return starts[static_cast<unsigned char>(c)][0] != 0xff; }

const op_rec* op_find(std::string_view op) {
  if (op.empty()) return nullptr;
  const size_t k = op_at(op, 0);
  return k < ops.size() && ops[k].text.size() == op.size() ? &ops[k] : nullptr;
}

std::optional<op_hit> find_op(std::string_view arg) {
  // One pass instead of one search per operator: the first time an operator is met is its
  // leftmost occurrence, and a better-placed operator met later still wins.
  size_t best = ops.size();
  size_t at = 0;
  for (size_t i = 0; i < arg.size() && best != 0; ++i) {
    if (!op_start(arg[i])) continue;
    const size_t k = op_at(arg, i);
    if (k < best) {
      best = k;
      at = i;
    }
  }
  if (best == ops.size()) return std::nullopt;
  return op_hit{best, at};
}

std::optional<cond3> parse_if(std::string_view arg) {
  const std::optional<op_hit> hit = find_op(arg);
  if (!hit) return std::nullopt;
  const std::string_view op = ops[hit->op].text;
  const size_t at = hit->at;
  // The chosen operator decides, even when it leaves a side empty: no other one is tried.
  std::string_view lhs = trimx(arg.substr(0, at));
  std::string_view rhs = trimx(arg.substr(at + op.size()));
  if (lhs.empty() || rhs.empty()) return std::nullopt;
  return cond3{lhs, op, rhs};
}
