// Constant conditions: a comparison between two numbers is decided during translation.
#include "cond/cond.h"

konst constcmp(std::string_view lhs, std::string_view op, std::string_view rhs, bool& truth) {
  if (!isnum2(lhs) || !isnum2(rhs)) return konst::no;
  std::optional<int64_t> a = numparse(lhs);
  std::optional<int64_t> b = numparse(rhs);
  if (!a || !b) return konst::big;
  const op_rec* r = op_find(op);
  if (!r) return konst::no;
  // Both values lie in 0..2^63-1, where signed and unsigned order agree; the unsigned operators
  // still compare as unsigned so they say what they mean.
  const uint64_t ua = static_cast<uint64_t>(*a);
  const uint64_t ub = static_cast<uint64_t>(*b);
  const bool less = r->unsig ? ua < ub : *a < *b;
  const bool more = r->unsig ? ua > ub : *a > *b;
  truth = less ? r->lt : more ? r->gt : r->eq;
  return konst::yes;
}
