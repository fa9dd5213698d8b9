// Trimming and lower-casing: byte-wise, no locale, nothing but ASCII letters and blanks touched.
#include <gtest/gtest.h>

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
