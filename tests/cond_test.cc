// Operand tests, number conversion, the condition parser and constant conditions.
#include <gtest/gtest.h>

#include "cond/cond.h"

static const std::string max19 = "9223372036854775807";
static const std::string max16 = "0x7fffffffffffffff";

TEST(Operand, NumbersAndImmediates) {
  const struct {
    std::string text;
    bool num, imm;
  } cases[] = {
      {"0", true, true},      {"007", true, true},   {"0x1F", true, true},
      {"0XfF", true, true},   {"0x", false, false},  {"0X", false, false},
      {"0x1g", false, false}, {"12ab", false, false}, {"1Fh", false, false},
      {"-1", false, false},   {"+1", false, false},  {"'a'", false, true},
      {"''", false, true},    {"'", false, false},   {"'a", false, false},
      {"a'", false, false},   {"eax", false, false}, {"[eax]", false, false},
      {"", false, false},     {" 1", false, false},  {"1 ", false, false},
      {"x1F", false, false},  {"00x1", false, false}, {max19, true, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(isnum2(c.text), c.num) << c.text;
    EXPECT_EQ(isimm2(c.text), c.imm) << c.text;
  }
}

TEST(Numparse, ValuesUpToTheSigned64BitLimit) {
  const struct {
    std::string text;
    std::optional<int64_t> v;
  } cases[] = {
      {"0", 0},
      {"007", 7},
      {"0x1F", 31},
      {"0XfF", 255},
      {"0x0", 0},
      {max19, INT64_MAX},
      {max16, INT64_MAX},
      {"0x7FFFFFFFFFFFFFFF", INT64_MAX},
      {"000000000000000000001", 1},  // twenty zeros first
      {"0x000000000000000000001", 1},
      {std::string(40, '0') + max19, INT64_MAX},
      {"9223372036854775808", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"18446744073709551616", std::nullopt},  // 2^64 must not wrap round to 0
      {"0x8000000000000000", std::nullopt},
      {"0xffffffffffffffff", std::nullopt},
      {"0x10000000000000000", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(numparse(c.text), c.v) << c.text;
}

TEST(ParseIf, SplitsAtTheFirstOperatorOfTheTable) {
  const struct {
    std::string arg, lhs, op, rhs;  // empty op: no condition
  } cases[] = {
      {"eax == 5", "eax", "==", "5"},
      {"eax==5", "eax", "==", "5"},
      {"ecx ULT 10", "ecx", "ULT", "10"},
      {"ecxULT10", "ecx", "ULT", "10"},
      {"ecx ult 10", "", "", ""},
      {"eax >= 5", "eax", ">=", "5"},
      {"eax > = 5", "eax", ">", "= 5"},
      {"eax => 5", "eax =", ">", "5"},
      {"a < b == c", "a < b", "==", "c"},
      {"a == b == c", "a", "==", "b == c"},
      {"al == '='", "al", "==", "'='"},
      {"al != '=='", "al != '", "==", "'"},
      {"al < '<'", "al", "<", "'<'"},
      {"ULTRA > 1", "", "", ""},
      {"== 5", "", "", ""},
      {"eax >=", "", "", ""},
      {"eax", "", "", ""},
      {"", "", "", ""},
      {"eax <= ebx", "eax", "<=", "ebx"},
      {"x UGE y", "x", "UGE", "y"},
      {"x ULE y", "x", "ULE", "y"},
      {"x UGT y", "x", "UGT", "y"},
      {"eax != 0", "eax", "!=", "0"},
      {"eax < 0", "eax", "<", "0"},
      {"\teax\t==\v5 ; note", "eax", "==", "5 ; note"},
      {"[ebx + 4] UGT dword [ecx]", "[ebx + 4]", "UGT", "dword [ecx]"},
      // A better-placed operator further right still wins over one met first.
      {"a > b >= c", "a > b", ">=", "c"},
      {"a != b == c", "a != b", "==", "c"},
      {"a ULT b UGT c", "a ULT b", "UGT", "c"},
      {"a < b > c", "a < b", ">", "c"},
      {"a UGEULT b", "a", "UGE", "ULT b"},
      {"a <= b < c", "a", "<=", "b < c"},
      {"x UL", "", "", ""},
      {"xU", "", "", ""},
      {"x =! y", "", "", ""},
  };
  for (const auto& c : cases) {
    std::optional<cond3> got = parse_if(c.arg);
    if (c.op.empty()) {
      EXPECT_FALSE(got) << c.arg;
      continue;
    }
    ASSERT_TRUE(got) << c.arg;
    EXPECT_EQ(got->lhs, c.lhs) << c.arg;
    EXPECT_EQ(got->op, c.op) << c.arg;
    EXPECT_EQ(got->rhs, c.rhs) << c.arg;
  }
}

TEST(Constcmp, DecidesConditionsBetweenTwoNumbers) {
  enum { F, T, N, B };  // false, true, not constant, too big
  const struct {
    std::string lhs, op, rhs;
    int want;
  } cases[] = {
      {"5", "==", "5", T},    {"5", "!=", "5", F},       {"0x10", "==", "16", T},
      {"007", "==", "7", T},  {"3", "<", "10", T},       {"10", "<", "3", F},
      {"5", ">=", "5", T},    {"4", ">=", "5", F},       {"5", "<=", "4", F},
      {"4", "<=", "4", T},    {"5", ">", "4", T},        {"5", ">", "5", F},
      {"4", "UGE", "5", F},   {"5", "UGE", "5", T},      {"10", "ULT", "3", F},
      {"3", "ULT", "10", T},  {"3", "ULE", "3", T},      {"4", "ULE", "3", F},
      {"4", "UGT", "3", T},   {"3", "UGT", "3", F},      {max19, "UGT", "0", T},
      {max16, "==", max19, T}, {"eax", "==", "5", N},    {"5", "==", "eax", N},
      {"'a'", "==", "97", N}, {"97", "==", "'a'", N},    {"-1", "<", "0", N},
      {"5", "=<", "5", N},    {"9223372036854775808", "==", "1", B},
      {"1", "==", "0x8000000000000000", B},
      {"eax", "==", "99999999999999999999", N},
  };
  for (const auto& c : cases) {
    bool truth = c.want != T;  // the opposite of any expected value, so a wrong write shows
    konst k = constcmp(c.lhs, c.op, c.rhs, truth);
    const std::string what = c.lhs + " " + c.op + " " + c.rhs;
    switch (c.want) {
      case T:
      case F:
        EXPECT_EQ(k, konst::yes) << what;
        EXPECT_EQ(truth, c.want == T) << what;
        break;
      case N:
        EXPECT_EQ(k, konst::no) << what;
        EXPECT_TRUE(truth) << what << ": truth written for a condition that is not constant";
        break;
      default:
        EXPECT_EQ(k, konst::big) << what;
    }
  }
}

// An operator's mirror says the same of the operands swapped: `a OP b` and `b MIRROR a` agree on
// every pair, below, equal and above.
TEST(Ops, TheMirrorHoldsForTheOperandsSwapped) {
  const std::pair<const char*, const char*> pairs[] = {{"3", "7"}, {"7", "7"}, {"7", "3"}};
  for (const op_rec& o : ops) {
    ASSERT_NE(op_find(o.mirror), nullptr) << o.text;
    for (const auto& [a, b] : pairs) {
      bool there = false, back = false;
      ASSERT_EQ(constcmp(a, o.text, b, there), konst::yes);
      ASSERT_EQ(constcmp(b, o.mirror, a, back), konst::yes);
      EXPECT_EQ(there, back) << a << " " << o.text << " " << b;
    }
  }
}

TEST(FindOp, TableOrderDecidesAndTheLeftmostOccurrenceSplits) {
  const struct {
    std::string_view arg;
    std::string_view op;  // empty: none found
    size_t at;
  } cases[] = {
      {"eax > 5 ; skip when eax == 0", "==", 24},
      {"ecx < MAX_RESULTS", "ULT", 13},
      {"ULTRA > 1", "ULT", 0},
      {"a == b == c", "==", 2},
      {"eax >= 5", ">=", 4},
      {"eax > = 5", ">", 4},
      {"ecx ult 10", "", 0},
      {"", "", 0},
      // Operators across the eight-byte steps of the search, and at the very end.
      {"abcdefg == 1", "==", 8},
      {"abcdef UGT x", "UGT", 7},
      {"abcdefghijklmno ULE p < q", "ULE", 16},
      {"abcdefgU", "", 0},
      {"abcdefgh!", "", 0},
      {"abcdefghijklmn <", "<", 15},
      {"a UG", "", 0},
  };
  for (const auto& c : cases) {
    const auto hit = find_op(c.arg);
    if (c.op.empty()) {
      EXPECT_FALSE(hit) << c.arg;
      continue;
    }
    ASSERT_TRUE(hit) << c.arg;
    EXPECT_EQ(ops[hit->op].text, c.op) << c.arg;
    EXPECT_EQ(hit->at, c.at) << c.arg;
  }
}

TEST(OpFind, OnlyTheExactSpellingOfAnOperator) {
  const struct {
    std::string_view op;
    std::string_view found;  // empty: none
  } cases[] = {
      {"==", "=="}, {"<", "<"}, {"<=", "<="}, {"ULE", "ULE"}, {"UGT", "UGT"},
      {"", ""},     {"=", ""},  {"U", ""},    {"UG", ""},     {"UGTX", ""},
      {"<<", ""},   {"ult", ""}, {"=>", ""},  {std::string_view("<\0", 2), ""},
  };
  for (const auto& c : cases) {
    const op_rec* r = op_find(c.op);
    EXPECT_EQ(r ? r->text : std::string_view(), c.found) << c.op;
  }
}

// The eight-byte scan against the byte-at-a-time loop, on every text of up to five bytes over
// the bytes operators are made of and a few that are not, placed across an eight-byte step.
TEST(FindOp, TheEightByteScanFindsWhatThePlainLoopFinds) {
  const std::string_view alphabet = "=!<>UGTLE x";
  size_t compared = 0;
  for (const std::string_view pad : {"", "abcdef"}) {
    std::string s;
    const auto walk = [&](auto&& self, size_t left) -> void {
      const std::string arg = std::string(pad) + s;
      const auto fast = find_op(arg), plain = find_op_plain(arg);
      ++compared;
      ASSERT_EQ(fast.has_value(), plain.has_value()) << arg;
      if (fast) {
        ASSERT_EQ(fast->op, plain->op) << arg;
        ASSERT_EQ(fast->at, plain->at) << arg;
      }
      if (left == 0) return;
      for (const char c : alphabet) {
        s.push_back(c);
        self(self, left - 1);
        s.pop_back();
      }
    };
    walk(walk, 5);
  }
  EXPECT_EQ(compared, 2 * 177156u);  // 1 + 11 + ... + 11^5 texts after each pad
}

// Where a condition splits, also when the split leaves a side empty and so makes no condition.
TEST(SplitCond, TheOperatorAndBothSidesEvenWhenOneIsEmpty) {
  const struct {
    std::string_view arg;
    std::string_view op;  // empty: none occurs
    size_t at;
    std::string_view lhs, rhs;
    bool parses;
  } cases[] = {
      {"eax == 1", "==", 4, "eax", "1", true},
      {"  eax  >=  ebx  ", ">=", 7, "eax", "ebx", true},
      {"== 1", "==", 0, "", "1", false},
      {"eax <", "<", 4, "eax", "", false},
      {"a < b == c", "==", 6, "a < b", "c", true},
      {"eax", "", 0, "", "", false},
      {"x\tULT\t3", "ULT", 2, "x", "3", true},
  };
  for (const auto& c : cases) {
    const cond_split p = split_cond(c.arg);
    EXPECT_EQ(p.op ? p.op->text : "", c.op) << c.arg;
    EXPECT_EQ(p.at, c.at) << c.arg;
    EXPECT_EQ(p.lhs, c.lhs) << c.arg;
    EXPECT_EQ(p.rhs, c.rhs) << c.arg;
    EXPECT_EQ(parse_if(c.arg).has_value(), c.parses) << c.arg;
  }
}
