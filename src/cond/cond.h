// Conditions: operand tests, number conversion, the condition parser and constant conditions.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// One comparison operator: everything the translator and the checker know of it.
struct op_rec {
  std::string_view text;    // as written in a condition
  std::string_view jfalse;  // the jump taken after `cmp lhs, rhs` when the condition is false
  std::string_view mirror;  // the operator that says the same with the operands swapped
  bool unsig;               // compares unsigned; these are the upper-case word operators
  bool lt, eq, gt;          // holds when lhs is less than, equal to, greater than rhs
};

// The ten operators in the order the parser tries them. A two-byte operator comes before the
// one-byte operator it starts with, so "a >= b" splits at ">=" and never at ">".
inline constexpr std::array<op_rec, 10> ops = {{
    {"==", "jne", "==", false, false, true, false},
    {"!=", "je", "!=", false, true, false, true},
    {">=", "jl", "<=", false, false, true, true},
    {"<=", "jg", ">=", false, true, true, false},
    {"UGT", "jbe", "ULT", true, false, false, true},
    {"UGE", "jb", "ULE", true, false, true, true},
    {"ULT", "jae", "UGT", true, true, false, false},
    {"ULE", "ja", "UGE", true, true, true, false},
    {">", "jle", "<", false, false, false, true},
    {"<", "jge", ">", false, true, false, false},
}};

// One parsed condition: `lhs op rhs`, both operands trimmed and non-empty. The three texts view
// the argument text they were parsed from (and `op` the table), so the condition lives no
// longer than that text: it is used at once, and copying each short text cost more than using it.
struct cond3 {
  std::string_view lhs;
  std::string_view op;
  std::string_view rhs;
  const op_rec* rec = nullptr;  // the record of `op`, where the parser found it
};

// The record of the operator spelled exactly `op`, or null.
const op_rec* op_find(std::string_view op);

// A decimal number ("007") or a hexadecimal one ("0x1F"); no sign, blank or suffix.
bool isnum2(std::string_view s);

// A number, or a quoted character: at least two bytes, first and last both "'".
bool isimm2(std::string_view s);

// The value of `s`, for which isnum2 holds; nothing when it exceeds 2^63-1.
std::optional<int64_t> numparse(std::string_view s);

// Where the operator that splits a condition lies: its place in `ops` and its first byte.
struct op_hit {
  size_t op;
  size_t at;
};

// The first operator of `ops` that occurs anywhere in `arg`, at its leftmost occurrence;
// nothing when none occurs.
std::optional<op_hit> find_op(std::string_view arg);

// The same found a byte at a time: what find_op does on a big-endian machine, and the twin its
// eight-byte scan is tested against.
std::optional<op_hit> find_op_plain(std::string_view arg);

// Where and how the translator splits a condition, whether or not the split makes a condition:
// what nestasm-check and the server read instead of splitting a condition their own way.
struct cond_split {
  const op_rec* op = nullptr;  // null: no operator occurs
  size_t at = 0;               // where in the argument text the operator begins
  std::string_view lhs, rhs;   // both sides, trimmed; either may be empty
};
cond_split split_cond(std::string_view arg);

// Split `arg` as split_cond does; nothing when no operator occurs or either side is empty.
std::optional<cond3> parse_if(std::string_view arg);

// What constcmp found out about a condition.
enum class konst {
  no,   // not both operands are numbers: compare at run time
  yes,  // decided now; the truth is in the out-parameter
  big,  // both are numbers but one does not fit in a signed 64-bit value
};

// Decide a condition between two numbers at translation time. `truth` is written only when
// the result is konst::yes.
konst constcmp(std::string_view lhs, std::string_view op, std::string_view rhs, bool& truth);
