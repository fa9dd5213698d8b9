// The reference translation and the real translator, both held to outputs worked out by hand from
// the notation's rules; the fuzzer then trusts the reference on inputs no one wrote down.
#include <gtest/gtest.h>

#include <string>

#include "fuzz/oracle.h"
#include "fuzz/ref.h"

namespace {

struct row {
  std::string in;
  int status;
  std::string err;
  std::string out;
  int64_t stop;
  int64_t labels;
};

void expect_run(const ref_run& got, const row& w, const char* who) {
  EXPECT_EQ(got.status, w.status) << who << " on \"" << w.in << "\"";
  EXPECT_EQ(got.err, w.err) << who << " on \"" << w.in << "\"";
  EXPECT_EQ(got.out, w.out) << who << " on \"" << w.in << "\"";
  EXPECT_EQ(got.stop, w.stop) << who << " on \"" << w.in << "\"";
  EXPECT_EQ(got.labels, w.labels) << who << " on \"" << w.in << "\"";
}

void check_both(const std::vector<row>& rows) {
  oracle_setup();
  for (const row& w : rows) {
    expect_run(ref_translate(w.in), w, "reference");
    expect_run(core_run(w.in), w, "translator");
  }
}

// One `if` with a run-time condition, closed at the end of the input.
struct one_if {
  std::string arg;
  std::string cmp;   // the compare line
  std::string jump;  // the false jump's mnemonic
};

}  // namespace

TEST(Ref, WhichOperatorSplitsAndWhatIsLowerCased) {
  const one_if cases[] = {
      // Table order, not position, picks the operator; its leftmost occurrence splits.
      {"Z == 1", "cmp z, 1", "jne"},
      {"a UGT b UGE c", "cmp a, b UGE c", "jbe"},
      {"a < b == c", "cmp a < b, c", "jne"},
      {"x ULE y >= z", "cmp x ule y, z", "jl"},
      {"a<=b<c", "cmp a, b<c", "jg"},
      {"EAX => 5", "cmp eax =, 5", "jle"},
      {"al != '=='", "cmp al != ', '", "jne"},
      {"a == b == c", "cmp a, b == c", "jne"},
      {"ecxULT10", "cmp ecx, 10", "jae"},
      {"a!=b", "cmp a, b", "je"},
      {"a >= b", "cmp a, b", "jl"},
      {"a > b", "cmp a, b", "jle"},
      {"a < b", "cmp a, b", "jge"},
      {"a UGE b", "cmp a, b", "jb"},
      {"a ULE b", "cmp a, b", "ja"},
      {"a ULT b", "cmp a, b", "jae"},
      {"DWORD [Cnt] != Max ; Note", "cmp dword [cnt], Max ; Note", "je"},
      {"al == 'A'", "cmp al, 'A'", "jne"},
      // Not immediates and not numbers: compared at run time as written.
      {"-1 < 0", "cmp -1, 0", "jge"},
      {"0x == 0x", "cmp 0x, 0x", "jne"},
      {"' == 1", "cmp ', 1", "jne"},
  };
  std::vector<row> rows;
  for (const one_if& c : cases)
    rows.push_back({"if " + c.arg + "\n", 0, "",
                    c.cmp + "\n" + c.jump + " .if_else_0\n.if_else_0:\n.if_end_1:\n", 1, 2});
  check_both(rows);
}

TEST(Ref, ConditionsThatDoNotParse) {
  check_both({
      {"if eax > RESULT\n", 3, "bad if\n", "", 0, 0},  // "ULT" ends the text: nothing on its right
      {"if ULTRA > 1\n", 3, "bad if\n", "", 0, 0},
      {"if eax >= \n", 3, "bad if\n", "", 0, 0},  // ">" is never tried once ">=" is found
      {"if ecx ult 10\n", 3, "bad if\n", "", 0, 0},
      {"if\n", 3, "bad if\n", "", 0, 0},
      {"x\nwhile ecx\n", 9, "bad while\n", "", 1, 0},
      {"while == 1\n", 9, "bad while\n", "", 0, 0},
      {"if a == 1\nelif\n", 6, "bad elif\n", "", 1, 2},
      {"if a == 1\nelif b ugt c\n", 6, "bad elif\n", "", 1, 2},
  });
}

TEST(Ref, DepthMarkersAndClosing) {
  check_both({
      // An "&" past the marker prefix, within the first eight bytes, is body text.
      {"if eax == 1\nend ; a&b\n", 0, "", "cmp eax, 1\njne .if_else_0\n.if_else_0:\n.if_end_1:\n",
       2, 2},
      {"& if eax == 1\n& end & x\n", 0, "",
       "cmp eax, 1\njne .if_else_0\n.if_else_0:\n.if_end_1:\n", 2, 2},
      {"if eax == 1\nend;a&&&&\n", 0, "",
       "cmp eax, 1\njne .if_else_0\nend;a&&&&\n.if_else_0:\n.if_end_1:\n", 2, 2},
      {"\t&if eax == 1\n", 0, "", "&if eax == 1\n", 1, 0},
      {"& & if a == b\n&\tmov x, y\n", 0, "",
       "cmp a, b\njne .if_else_0\n.if_else_0:\n.if_end_1:\nmov x, y\n", 2, 2},
      {" & &  if a == b\n  &&  x\n", 0, "", "cmp a, b\njne .if_else_0\nx\n.if_else_0:\n.if_end_1:\n",
       2, 2},
      // A blank line closes the inner block only.
      {"if a == 1\n& if b == 2\n\n& x\nend\n", 0, "",
       "cmp a, 1\njne .if_else_0\ncmp b, 2\njne .if_else_2\n.if_else_2:\n.if_end_3:\n\nx\n"
       ".if_else_0:\n.if_end_1:\n",
       5, 4},
      {"while x != 0\n  && ; note  \nend\n", 0, "",
       ".while_head_0:\ncmp x, 0\nje .while_end_1\n  && ; note  \njmp .while_head_0\n"
       ".while_end_1:\n",
       3, 2},
      // The same depth nests; end closes the innermost.
      {"if a == 1\nif b == 2\nend\nend\n", 0, "",
       "cmp a, 1\njne .if_else_0\ncmp b, 2\njne .if_else_2\n.if_else_2:\n.if_end_3:\n"
       ".if_else_0:\n.if_end_1:\n",
       4, 4},
      {"if eax == 1\n& if ebx == 2\n& & inc ecx\nelse\n& dec ecx\nend\n", 0, "",
       "cmp eax, 1\njne .if_else_0\ncmp ebx, 2\njne .if_else_2\ninc ecx\n.if_else_2:\n.if_end_3:\n"
       "jmp .if_end_1\n.if_else_0:\ndec ecx\n.if_end_1:\n",
       6, 4},
      {"if a == 1\n& end\n", 11, "end bad\n", "", 1, 2},
      {"& & if a == 1\n& end\n", 11, "end bad\n", "", 1, 2},
      {"end\n", 11, "end bad\n", "", 0, 0},
      {"if a == 1\n& elif b == 2\n", 5, "elif bad\n", "", 1, 2},
      {"if a == 1\n& else\n", 8, "else bad\n", "", 1, 2},
      // Closed at the end of the input, innermost first; numbers run past one digit.
      {"if a == 1\nif a == 1\nif a == 1\nif a == 1\nif a == 1\nif a == 1\n", 0, "",
       "cmp a, 1\njne .if_else_0\ncmp a, 1\njne .if_else_2\ncmp a, 1\njne .if_else_4\n"
       "cmp a, 1\njne .if_else_6\ncmp a, 1\njne .if_else_8\ncmp a, 1\njne .if_else_10\n"
       ".if_else_10:\n.if_end_11:\n.if_else_8:\n.if_end_9:\n.if_else_6:\n.if_end_7:\n"
       ".if_else_4:\n.if_end_5:\n.if_else_2:\n.if_end_3:\n.if_else_0:\n.if_end_1:\n",
       6, 12},
  });
}

TEST(Ref, KeywordsInAnyCaseAndChains) {
  check_both({
      {"IF EAX == EBX\n", 0, "", "cmp eax, EBX\njne .if_else_0\n.if_else_0:\n.if_end_1:\n", 1, 2},
      {"While Ecx UGT 'A'\nEND\n", 0, "",
       ".while_head_0:\ncmp ecx, 'A'\njbe .while_end_1\njmp .while_head_0\n.while_end_1:\n", 2, 2},
      {"if eax ugt 5\n", 3, "bad if\n", "", 0, 0},
      {"iff a == b\nendif\n", 0, "", "iff a == b\nendif\n", 2, 0},
      {"whilex a == b\nElsE1\n", 0, "", "whilex a == b\nElsE1\n", 2, 0},
      {"if\teax == 1\nend\tnote\n", 0, "", "cmp eax, 1\njne .if_else_0\n.if_else_0:\n.if_end_1:\n",
       2, 2},
      {"if a == 1\nELIF a == 2\nElse whatever\nEnd\n", 0, "",
       "cmp a, 1\njne .if_else_0\njmp .if_end_1\n.if_else_0:\ncmp a, 2\njne .if_else_2\n"
       "jmp .if_end_1\n.if_else_2:\n.if_end_1:\n",
       4, 3},
      {"if a == 1\nelse if a == 2\nend\n", 0, "", "cmp a, 1\njne .if_else_0\njmp .if_end_1\n"
       ".if_else_0:\n.if_end_1:\n", 3, 2},
      {"else\n", 8, "else bad\n", "", 0, 0},
      {"elif junk\n", 5, "elif bad\n", "", 0, 0},  // the block test comes before the parse
      {"if a == 1\nelse\nelse\n", 8, "else bad\n", "", 2, 2},
      {"if a == 1\nelse\nelif a == 2\n", 5, "elif bad\n", "", 2, 2},
      {"while a == 1\nelif a == 2\n", 5, "elif bad\n", "", 1, 2},
      {"while a == 1\nelse\n", 8, "else bad\n", "", 1, 2},
  });
}

TEST(Ref, ConstantsAndImmediates) {
  check_both({
      {"if 5 == eax\n", 4, "imm lhs\n", "", 0, 2},
      {"if 'a' == al\n", 4, "imm lhs\n", "", 0, 2},
      {"if 97 == 'a'\n", 4, "imm lhs\n", "", 0, 2},
      {"if 0xFFFFFFFFFFFFFFFF == eax\n", 4, "imm lhs\n", "", 0, 2},  // not constant, so not big
      {"if eax == 1\nelif 0x10 == eax\n", 7, "imm lhs\n", "", 1, 3},
      {"while 7 < ecx\n", 10, "imm lhs\n", "", 0, 2},
      {"if 2 == 2\nx\n", 0, "", "x\n.if_else_0:\n.if_end_1:\n", 2, 2},
      {"if 0x7FFFFFFFFFFFFFFF UGT 0\n", 0, "", ".if_else_0:\n.if_end_1:\n", 1, 2},
      {"if 9223372036854775807 != 0x7fffffffffffffff\n", 0, "",
       "jmp .if_else_0\n.if_else_0:\n.if_end_1:\n", 1, 2},
      {"if 00000000000000000000001 == 0x0000000000000000000001\n", 0, "",
       ".if_else_0:\n.if_end_1:\n", 1, 2},
      {"if 10 ULT 3\n", 0, "", "jmp .if_else_0\n.if_else_0:\n.if_end_1:\n", 1, 2},
      {"if 3 ULE 3\nelif 4 UGE 5\n", 0, "",
       "jmp .if_end_1\n.if_else_0:\njmp .if_else_2\n.if_else_2:\n.if_end_1:\n", 2, 3},
      {"if 0x8000000000000000 == 1\n", 12, "big num\n", "", 0, 2},
      {"if 1 == 18446744073709551616\n", 12, "big num\n", "", 0, 2},
      {"if eax == 1\nelif 1 == 99999999999999999999\n", 12, "big num\n", "", 1, 3},
      {"while 0xFFFFFFFFFFFFFFFF != 0\n", 12, "big num\n", "", 0, 2},
      {"while 1 == 2\n& nop\nend\n", 0, "",
       ".while_head_0:\njmp .while_end_1\nnop\njmp .while_head_0\n.while_end_1:\n", 3, 2},
      {"while 1 == 1\n& nop\n", 0, "", ".while_head_0:\nnop\njmp .while_head_0\n.while_end_1:\n",
       2, 2},
  });
}

TEST(Ref, ConstantTruthOfEveryOperator) {
  // Below, equal to and above for each operator: the equal case tells strict from not.
  const struct {
    std::string cond;
    bool truth;
  } cases[] = {
      {"4 == 5", false},   {"5 == 5", true},    {"6 == 5", false},   {"4 != 5", true},
      {"5 != 5", false},   {"6 != 5", true},    {"4 >= 5", false},   {"5 >= 5", true},
      {"6 >= 5", true},    {"4 <= 5", true},    {"5 <= 5", true},    {"6 <= 5", false},
      {"4 > 5", false},    {"5 > 5", false},    {"6 > 5", true},     {"4 < 5", true},
      {"5 < 5", false},    {"6 < 5", false},    {"4 UGT 5", false},  {"5 UGT 5", false},
      {"6 UGT 5", true},   {"4 UGE 5", false},  {"5 UGE 5", true},   {"6 UGE 5", true},
      {"4 ULT 5", true},   {"5 ULT 5", false},  {"6 ULT 5", false},  {"4 ULE 5", true},
      {"5 ULE 5", true},   {"6 ULE 5", false},  {"0x10 == 16", true}, {"0XfF == 255", true},
      {"007 == 7", true},  {"0x0 < 0", false},  {"10 < 9", false},   {"0xA > 9", true},
  };
  std::vector<row> rows;
  for (const auto& c : cases)
    rows.push_back({"if " + c.cond + "\n", 0, "",
                    std::string(c.truth ? "" : "jmp .if_else_0\n") + ".if_else_0:\n.if_end_1:\n",
                    1, 2});
  check_both(rows);
}

TEST(Ref, LinesAsTheyAreRead) {
  check_both({
      {"", 0, "", "", 0, 0},
      {"\n", 0, "", "\n", 1, 0},
      {"\r\n", 0, "", "\n", 1, 0},
      {"a\r\nb", 0, "", "a\nb\n", 2, 0},
      {"a\r", 0, "", "a\n", 1, 0},
      {"; x\r\r\n", 0, "", "; x\r\n", 1, 0},  // only one "\r" belongs to the line end
      {"  mov   eax,  1   \n", 0, "", "mov   eax,  1\n", 1, 0},
      {"mov eax, 1 ; note\n\n\n", 0, "", "mov eax, 1 ; note\n\n\n", 3, 0},
      {std::string("x\0y\n", 4), 0, "", std::string("x\0y\n", 4), 1, 0},
      {"\v\f&x\n", 0, "", "&x\n", 1, 0},
      {"if eax == 1\n& inc ebx\nend", 0, "",
       "cmp eax, 1\njne .if_else_0\ninc ebx\n.if_else_0:\n.if_end_1:\n", 3, 2},
  });
}
