// Trimming and lower-casing: byte-wise, no locale, nothing but ASCII letters and blanks touched.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "common/common.h"

TEST(Trimx, DropsEveryIsspaceByteAtBothEnds) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"", ""},
      {" \t\n\v\f\r", ""},
      {"  mov   eax,  1   ", "mov   eax,  1"},
      {"\r\nx\r", "x"},
      {std::string("\0a\0", 3), std::string("\0a\0", 3)},  // NUL is not white space
      {"\xa0x\xa0", "\xa0x\xa0"},                        // nor is a byte above 0x7f
  };
  for (const auto& c : cases) EXPECT_EQ(trimx(c.in), c.out) << c.in;
}

TEST(Lowerme, ChangesOnlyAsciiCapitals) {
  EXPECT_EQ(lowerme("EAX"), "eax");
  EXPECT_EQ(lowerme("While"), "while");
  EXPECT_EQ(lowerme("[EBX+4]"), "[ebx+4]");
  EXPECT_EQ(lowerme("\xc4\xd6@[`{"), "\xc4\xd6@[`{");
  const std::string nul("A\0B", 3);
  EXPECT_EQ(lowerme(nul), std::string("a\0b", 3));
}

TEST(SameIcase, OnlyAsciiCapitalsMatchTheirSmallLetters) {
  const struct {
    std::string_view a, b;
    bool same;
  } cases[] = {
      {"EQU", "equ", true},   {"Equ", "eQU", true}, {"equ", "eq", false},
      {"@", "`", false},      {"[", "{", false},    {"\xc4", "\xe4", false},  // not Latin-1
      {"", "", true},         {"Z", "z", true},     {"_", "\x7f", false},
  };
  for (const auto& c : cases) EXPECT_EQ(same_icase(c.a, c.b), c.same) << c.a << " " << c.b;
}

// The pages that list the exit statuses say what message() says, status by status: the table of
// docs/notation.md and the EXIT STATUS section of nestasm.1.
static std::string file_text(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

TEST(Statuses, EveryPageListsEachStatusWithItsMessage) {
  const std::string notation = file_text(NESTASM_SOURCE_DIR "/docs/notation.md");
  const std::string man = file_text(NESTASM_SOURCE_DIR "/nestasm.1");
  ASSERT_FALSE(notation.empty());
  ASSERT_FALSE(man.empty());
  const std::string section = man.substr(man.find(".SH EXIT STATUS"));
  const int last = static_cast<int>(st::no_memory);
  for (int n = 0; n <= last; ++n) {
    const std::string msg(trimx(message(n)));
    EXPECT_EQ(n == 0, msg.empty()) << n;
    const std::string row = "\n| " + std::to_string(n) + " | " + (msg.empty() ? "" : "`" + msg + "` ") + "|";
    EXPECT_NE(notation.find(row), std::string::npos) << "docs/notation.md has no row" << row;
    const std::string entry = "\n.B " + std::to_string(n) + "\n" + (msg.empty() ? "" : ".B " + msg + "\n");
    EXPECT_NE(section.find(entry), std::string::npos) << "nestasm.1 has no entry" << entry;
  }
  // And no status past the last one.
  EXPECT_EQ(notation.find("\n| " + std::to_string(last + 1) + " |"), std::string::npos);
  EXPECT_EQ(section.find("\n.B " + std::to_string(last + 1) + "\n"), std::string::npos);
}
