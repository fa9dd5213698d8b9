// The condition parser: the first operator of the table that occurs anywhere splits the text.
#include "cond/cond.h"

#include "common/common.h"

// The place in `ops` of the best-placed operator that starts at s[i], or ops.size() for none.
// Only "==" and ">=" / "<=" can start at the same byte as a worse-placed operator (">", "<").
static size_t op_at(std::string_view s, size_t i) {
  const auto eq_next = [&] { return i + 1 < s.size() && s[i + 1] == '='; };
  switch (s[i]) {
    case '=': return eq_next() ? 0 : ops.size();
    case '!': return eq_next() ? 1 : ops.size();
    case '>': return eq_next() ? 2 : 8;
    case '<': return eq_next() ? 3 : 9;
    case 'U':
      if (i + 2 >= s.size()) return ops.size();
      for (size_t k = 4; k < 8; ++k)
        if (s.compare(i, 3, ops[k]) == 0) return k;
      return ops.size();
    default: return ops.size();
  }
}

// The bytes an operator can begin with. Most bytes of a condition are none of them, and this
// one test lets the scan pass over them.
static bool op_start(char c) { return c == '=' || c == '!' || c == '>' || c == '<' || c == 'U'; }

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
  const std::string_view op = ops[hit->op];
  const size_t at = hit->at;
  // The chosen operator decides, even when it leaves a side empty: no other one is tried.
  std::string_view lhs = trimx(arg.substr(0, at));
  std::string_view rhs = trimx(arg.substr(at + op.size()));
  if (lhs.empty() || rhs.empty()) return std::nullopt;
  return cond3{lhs, op, rhs};
}
