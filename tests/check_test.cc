// What the checker knows of NASM's side of a line, table by table.
#include <gtest/gtest.h>

#include "check/check.h"

TEST(CheckLex, NumbersThatNasmReadsAndNestasmDoesNot) {
  const struct {
    std::string_view s;
    bool num;
  } cases[] = {
      {"10h", true},    {"0b101", true},   {"-1", true},      {"+1", true},    {"~0", true},
      {"$1F", true},    {"1_000", true},   {"\"a\"", true},   {"`a`", true},   {"0x1F", true},
      {"eax", false},   {"$foo", false},   {"[10h]", false},  {"-", false},    {"", false},
      {"\"a", false},   {"counter", false},
  };
  for (const auto& c : cases) EXPECT_EQ(nasm_number(c.s), c.num) << c.s;
}

TEST(CheckLex, TheFirstNameWithCapitalsThatIsNoRegisterOrKeyword) {
  const struct {
    std::string_view operand, name;
  } cases[] = {
      {"dword [Counter]", "Counter"},
      {"DWORD [count]", ""},
      {"EAX", ""},
      {"R8D", ""},
      {"XMM15", ""},
      {"ZMM32", "ZMM32"},
      {"byte [Table+ECX*4]", "Table"},
      {"al", ""},
      {"[ebx+0FFh]", ""},    // a number's case means nothing
      {"byte [s+'A']", ""},  // nor a quoted character's
      {"MAX_RES", "MAX_RES"},
      {"qword [REL Limit]", "Limit"},
  };
  for (const auto& c : cases) EXPECT_EQ(capital_name(c.operand), c.name) << c.operand;
}

TEST(CheckLex, LabelsAtTheStartOfALine) {
  const struct {
    std::string_view body, label;
  } cases[] = {
      {"next:", "next"},          {"_start:", "_start"},   {".loop:", ".loop"},
      {"foo: mov eax, 1", "foo"}, {"mov eax, fs:[0]", ""}, {"db 'a:'", ""},
      {"1f:", ""},                {"next", ""},            {"..@x:", "..@x"},
  };
  for (const auto& c : cases) EXPECT_EQ(label_of(c.body), c.label) << c.body;
}

TEST(CheckLex, WordsOfOtherLanguagesAndTheStatementMeant) {
  const struct {
    std::string_view word, meant;
  } cases[] = {
      {"endif", "end"},      {"ENDIF", "end"},  {"endwhile", "end"}, {"wend", "end"},
      {"fi", "end"},         {"elsif", "elif"}, {"ElseIf", "elif"},  {"if(eax==1)", "if"},
      {"while(x)", "while"}, {"end", ""},       {"endbr64", ""},     {"iff", ""},
      {"mov", ""},           {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(meant_statement(c.word), c.meant) << c.word;
}

TEST(CheckLex, CommentsOutsideQuotes) {
  const struct {
    std::string_view s;
    size_t at;
  } cases[] = {
      {"eax > 5 ; skip when eax == 0", 8},
      {"al == ';'", std::string_view::npos},
      {"al == ';' ; note", 10},
      {"eax == 1", std::string_view::npos},
      {"al == \"a;b\" ;x", 12},
  };
  for (const auto& c : cases) EXPECT_EQ(comment_at(c.s), c.at) << c.s;
}

TEST(CheckLex, MirroredOperators) {
  const struct {
    std::string_view op, m;
  } cases[] = {{"==", "=="}, {"!=", "!="},   {">=", "<="},   {"<=", ">="},   {">", "<"},
               {"<", ">"},   {"UGT", "ULT"}, {"ULT", "UGT"}, {"UGE", "ULE"}, {"ULE", "UGE"}};
  for (const auto& c : cases) EXPECT_EQ(mirrored(c.op), c.m) << c.op;
}
