// Constant conditions: a comparison between two numbers is decided during translation.
#include "cond/cond.h"

konst constcmp(std::string_view lhs, std::string_view op, std::string_view rhs, bool& truth) {
  if (!isnum2(lhs) || !isnum2(rhs)) return konst::no;
  std::optional<int64_t> a = numparse(lhs);
  std::optional<int64_t> b = numparse(rhs);
  if (!a || !b) return konst::big;
  // Both values lie in 0..2^63-1, where signed and unsigned order agree; the unsigned operators
  // still compare as unsigned so they say what they mean.
  const uint64_t ua = static_cast<uint64_t>(*a);
  const uint64_t ub = static_cast<uint64_t>(*b);
  if (op == "==") truth = *a == *b;
  else if (op == "!=") truth = *a != *b;
  else if (op == ">=") truth = *a >= *b;
  else if (op == "<=") truth = *a <= *b;
  else if (op == ">") truth = *a > *b;
  else if (op == "<") truth = *a < *b;
  else if (op == "UGT") truth = ua > ub;
  else if (op == "UGE") truth = ua >= ub;
  else if (op == "ULT") truth = ua < ub;
  else if (op == "ULE") truth = ua <= ub;
  else return konst::no;
  return konst::yes;
}
