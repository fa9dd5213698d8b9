// The formatter: its layout line by line, the edits it offers, the depths Enter gives, and its
// two promises over every text the project keeps and many made up: the same translation, and
// nothing more to change the second time.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "common/common.h"
#include "fmt/fmt.h"
#include "out/out.h"
#include "scan/scan.h"

namespace fs = std::filesystem;

// What the core makes of `text` as a whole input: its status and its output.
static std::pair<int, std::string> tr(std::string_view text) {
  restart();
  const int said = err_fd;
  err_fd = -1;
  file_lines = text;
  const int st = translate_all();
  err_fd = said;
  std::pair<int, std::string> r{st, std::string(out_thing.view())};
  restart();
  return r;
}

// A text and what the formatter makes of it.
struct before_after {
  std::string_view in, out;
};

// Both promises for one text; `what` names it in a failure.
static void holds(std::string_view text, const std::string& what) {
  const std::string once = tidy(text);
  EXPECT_EQ(tr(once), tr(text)) << what;
  EXPECT_EQ(tidy(once), once) << what;
  EXPECT_EQ(first_untidy(once), -1) << what;
}

TEST(Fmt, EachLineInTheLayout) {
  const before_after cases[] = {
      {"mov eax, 1", "mov eax, 1"},
      {"    mov   eax,  1   ", "mov   eax,  1"},
      {"&&if eax == 1", "& & if eax == 1"},
      {" &  &   IF EAX == 1 ", "& & IF EAX == 1"},
      {"&\tmov eax, 1", "& mov eax, 1"},
      {"& & & end ; loop", "& & & end ; loop"},
      {"&else   if x", "& else   if x"},
      // After a tab the "&" is text: it stays text, after its own markers and a tab.
      {"\t&if eax == 1", "\t&if eax == 1"},
      {"  \t& mov", "\t& mov"},
      {"& \t&&x", "& \t&&x"},
      {"&&\v& x", "& & \t& x"},
      // Blank and comment lines reach the output as they stand: so they stay.
      {"", ""},
      {"&&", "&&"},
      {"  & \t ", "  & \t "},
      {"  ; note  ", "  ; note  "},
      {"&& ; note", "&& ; note"},
      {"\t;x", "\t;x"},
      // A lone CR inside a line is a byte of its text.
      {"&  mov\rx  ", "& mov\rx"},
  };
  for (const auto& c : cases) {
    std::string got;
    tidy_line(got, c.in);
    EXPECT_EQ(got, c.out) << c.in;
  }
}

TEST(Fmt, WholeTextsKeepTheirLineEnds) {
  const before_after cases[] = {
      {"", ""},
      {"\n", "\n"},
      {"&&nop", "& & nop"},
      {"&&nop\n", "& & nop\n"},
      {"if a == 1\r\n&&nop  \r\nend\r\n", "if a == 1\r\n& & nop\r\nend\r\n"},
      {"&nop\r\n&nop\n&nop", "& nop\r\n& nop\n& nop"},
      {"&nop\r", "& nop\r"},
      {"&nop \r\r\n", "& nop\r\n"},
      {"\r", "\r"},
      {"  ;c \r\r\n", "  ;c \r\r\n"},
      {std::string_view("&mov al, 0\0x\n", 13), std::string_view("& mov al, 0\0x\n", 14)},
  };
  for (const auto& c : cases) EXPECT_EQ(tidy(c.in), c.out) << c.in;
}

TEST(Fmt, FirstLineNotInTheLayout) {
  // Each text, and the index of its first line not in the layout (-1: none).
  const std::pair<std::string_view, int64_t> cases[] = {
      {"", -1},
      {"if a == 1\n& nop\n\n  ; c\nend\n", -1},
      {"if a == 1\n&nop\n&&x\n", 1},
      {"nop \n", 0},
      {"nop\n\nnop\r\n nop", 3},
      {"\t&x\n& \t&x\n", -1},
  };
  for (const auto& [in, at] : cases) EXPECT_EQ(first_untidy(in), at) << in;
}

TEST(Fmt, RangeEditsOnlyTheLinesThatChange) {
  const std::string_view text = "&a\n& b\n&&c\n  \n &d\n&e";
  const struct {
    int64_t first, last;
    std::vector<line_edit> want;
  } cases[] = {
      {0, 5, {{0, "& a"}, {2, "& & c"}, {4, "& d"}, {5, "& e"}}},
      {1, 3, {{2, "& & c"}}},
      {1, 1, {}},
      {5, 9, {{5, "& e"}}},
      {6, 9, {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(tidy_range(text, c.first, c.last), c.want) << c.first << ".." << c.last;
}

TEST(Fmt, MarkerStyleOfAText) {
  const struct {
    std::string_view text;
    bool spaced, space_after;
  } cases[] = {
      {"", true, true},
      {"nop\n&&\n", true, true},  // markers alone show nothing
      {"& & x\n", true, true},
      {"&&x\n", false, false},
      {"&& x\n", false, true},
      {"&\tx\n", true, true},
      {"&x\n& & y\n", true, false},
      {"&& x\n&y\n", false, true},  // the first line that shows each decides it
  };
  for (const auto& c : cases) {
    const mark_style m = style_of(c.text);
    EXPECT_EQ(m.spaced, c.spaced) << c.text;
    EXPECT_EQ(m.space_after, c.space_after) << c.text;
  }
  EXPECT_EQ(markers(0), "");
  EXPECT_EQ(markers(3), "& & & ");
  EXPECT_EQ(markers(2, {false, false}), "&&");
  EXPECT_EQ(markers(2, {false, true}), "&& ");
  EXPECT_EQ(markers(2, {true, false}), "& &");
}

TEST(Fmt, OneLevelDeeperOrShallower) {
  const struct {
    std::string_view text;
    int by;
    std::vector<line_edit> want;
  } cases[] = {
      {"nop\n& nop\n& & nop\n", 1, {{0, "& nop"}, {1, "& & nop"}, {2, "& & & nop"}}},
      {"nop\n& nop\n& & nop\n", -1, {{1, "nop"}, {2, "& nop"}}},
      // Each in the text's own style.
      {"&&x\nnop\n", 1, {{0, "&&&x"}, {1, "&nop"}}},
      {"&&x\n&&&y\n", -1, {{0, "&x"}, {1, "&&y"}}},
      {"&& x\nnop\n", 1, {{0, "&&& x"}, {1, "& nop"}}},
      {"& &x\n& & &y\n", -1, {{0, "&x"}, {1, "& &y"}}},
      // Indentation before the markers stays; the markers go where they begin.
      {"    mov\n  & nop\n  &nop\n", 1, {{0, "    & mov"}, {1, "  & & nop"}, {2, "  & &nop"}}},
      {"  & nop\n  &nop\n", -1, {{0, "  nop"}, {1, "  nop"}}},
      // A tab ends the prefix: the marker goes before it.
      {"\tmov\n\t&x\n&\tx\n", 1, {{0, "& \tmov"}, {1, "& \t&x"}, {2, "& &\tx"}}},
      {"& \t&x\n&\tx\n", -1, {{0, "\t&x"}, {1, "\tx"}}},
      // Blank lines stay; comments move with the code.
      {"\n&&\n; c\n& ; d\n", 1, {{2, "& ; c"}, {3, "& & ; d"}}},
      {"\n&&\n; c\n& ; d\n", -1, {{3, "; d"}}},
      {"nop\n", 0, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(shift(c.text, 0, 99, c.by), c.want) << c.text << c.by;
  EXPECT_EQ(shift("a\nb\nc\nd\n", 1, 2, 1), (std::vector<line_edit>{{1, "& b"}, {2, "& c"}}));
}

TEST(Fmt, DepthsEnterGives) {
  const struct {
    std::string_view text;
    int64_t n;
    int64_t line, new_line;
  } cases[] = {
      {"nop\n", 0, 0, 0},
      {"if eax == 1\n", 0, 0, 1},
      {"& & while ecx != 0\n", 0, 2, 3},
      {"if a == 1\n& inc ecx\n", 1, 1, 1},
      {"if a == 1\n& else\n", 1, 0, 1},
      {"if a == 1\n& elif a == 2\n", 1, 0, 1},
      {"if a == 1\nelif\n", 1, 0, 1},  // a condition not yet typed
      {"if a == 1\n& & & end\n", 1, 0, 0},
      // The innermost open block is the one an end belongs to.
      {"if a == 1\n& if b == 2\n& & inc\n& & end\n", 3, 1, 1},
      {"if a == 1\n& if b == 2\n& & inc\n& end\n", 3, 1, 1},
      {"if a == 1\n& if b == 2\n& & inc\nend\n", 3, 0, 0},  // fewer markers: the user's choice
      // An else belongs to an if, past the loop inside it.
      {"if a == 1\n& while b == 2\n& & inc\n& & else\n", 3, 0, 1},
      {"while b == 2\n& else\n", 1, 1, 2},  // no if to belong to
      {"end\n", 0, 0, 0},
      {"if a == 1\nend\n& end\n", 2, 1, 1},  // nothing is open
      {"if eax\n& end\n", 1, 1, 1},  // the translation stops before it
      {"if a == 1\n& nop\n", 5, 0, 0},       // past the last line
      {"while a != 0\r\n& if b == 1\r\n& & end\r\n", 2, 1, 1},
  };
  for (const auto& c : cases) {
    const enter_depths d = on_enter(c.text, c.n);
    EXPECT_EQ(d.line, c.line) << c.text << c.n;
    EXPECT_EQ(d.new_line, c.new_line) << c.text << c.n;
  }
  EXPECT_EQ(with_depth("& & & end", 1), "& end");
  EXPECT_EQ(with_depth("end", 2, {false, false}), "&&end");
  EXPECT_EQ(with_depth("&&\t&x", 0), "\t&x");
}

// A block typed statement by statement, each line begun with the markers Enter gave and the line
// left put at the depth Enter gave it, ends with every line where it belongs.
TEST(Fmt, TypingABlockWithEnterPutsEveryLineAtItsDepth) {
  const char* typed[] = {"while ecx != 0", "if eax == 1", "inc ebx", "else", "dec ebx",
                         "end",            "dec ecx",     "end"};
  std::vector<std::string> lines;
  std::string begun;  // the markers the line being typed starts with
  for (const char* t : typed) {
    lines.push_back(begun + t);
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    const enter_depths d = on_enter(text, static_cast<int64_t>(lines.size()) - 1);
    lines.back() = with_depth(lines.back(), d.line);
    begun = markers(d.new_line);
  }
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  EXPECT_EQ(text,
            "while ecx != 0\n& if eax == 1\n& & inc ebx\n& else\n& & dec ebx\n& end\n"
            "& dec ecx\nend\n");
  EXPECT_EQ(tr(text).first, 0);
}

// The language server asks in the middle of its own work: what it had stays as it was.
TEST(Fmt, EnterLeavesTheCallersTranslationAsItWas) {
  restart();
  const std::string_view in = "while ecx != 0\n& if eax == 1\n& & nop\n";
  file_lines = in;
  size_t pos = 0;
  for (lnum = 0; lnum < 2; ++lnum) {
    const std::string_view line = next_line(pos);
    ASSERT_EQ(translate_line(line, scan_line(line), nullptr, nullptr), 0);
  }
  const std::string before(out_thing.view());
  EXPECT_EQ(on_enter("if a == 1\nend\nend\n", 2).line, 0);
  EXPECT_EQ(file_lines, in);
  EXPECT_EQ(lnum, 2);
  EXPECT_EQ(err_fd, 2);
  EXPECT_EQ(stk.size(), 2u);
  EXPECT_EQ(out_thing.view(), before);
  restart();
}

static std::string read_file(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Every golden input and expectation, every example, and what the fuzzers keep.
TEST(Fmt, KeepsTheTranslationOfEveryKeptText) {
  const fs::path src = NESTASM_SOURCE_DIR;
  const char* trees[] = {"tests/golden", "tests/check", "examples", "tests/e2e/progs",
                         "tests/fuzz/seeds", "tests/fuzz/regress", "tests/fuzz/lsp-seeds",
                         "tests/fuzz/lsp-session-seeds", "tests/fuzz/lsp-session-regress"};
  int texts = 0, changed = 0;
  for (const char* t : trees) {
    if (!fs::exists(src / t)) continue;
    for (const auto& e : fs::recursive_directory_iterator(src / t)) {
      // Links stand for files found anyway, or lead nowhere (a case of their own).
      if (!fs::is_regular_file(e.symlink_status())) continue;
      const std::string text = read_file(e.path());
      holds(text, e.path().string());
      ++texts;
      changed += tidy(text) != text;
    }
  }
  // Not held vacuously: the corpus is there, and the layout moves much of it.
  EXPECT_GT(texts, 400);
  EXPECT_GT(changed, 50);
}

// Small texts of the pieces that decide a line's depth and kind, at random.
TEST(Fmt, KeepsTheTranslationOfMadeUpTexts) {
  static const std::string_view pieces[] = {
      "&",   "&",    " ",         "  ",         "\t",        "\r",          "\n",    "\n",
      "\r\n", "\v",  "if eax == 1", "elif ebx != 2", "else",  "while ecx ULT 3", "end",
      "END", "If 1 == 1", "mov eax, 1", "; c", ";", "nop", "&if a == 1", "x", "if", "elif",
      "while 2 > 1",
  };
  std::mt19937 rng(25);
  std::uniform_int_distribution<size_t> pick(0, std::size(pieces) - 1);
  std::uniform_int_distribution<int> len(0, 40);
  int moved = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    for (int n = len(rng); n > 0; --n) text += pieces[pick(rng)];
    holds(text, ::testing::PrintToString(text));
    moved += tidy(text) != text;
    if (HasFailure()) return;
  }
  EXPECT_GT(moved, 10000);
}

// Deeper moves every line with text down one level, shallower up one; the text stays.
TEST(Fmt, ShiftMovesEachLineOneLevel) {
  static const std::string_view pieces[] = {"&", " ", "\t", "\n", "x", "; c", "&&", "  "};
  std::mt19937 rng(7);
  std::uniform_int_distribution<size_t> pick(0, std::size(pieces) - 1);
  for (int i = 0; i < 5000; ++i) {
    std::string text;
    for (int n = 0; n < 24; ++n) text += pieces[pick(rng)];
    for (int by : {1, -1}) {
      std::vector<std::string> lines;
      for (size_t pos = 0; pos < text.size();) lines.emplace_back(next_line(text, pos));
      std::vector<std::string> was = lines;
      for (const line_edit& e : shift(text, 0, static_cast<int64_t>(lines.size()), by))
        lines[static_cast<size_t>(e.line)] = e.text;
      for (size_t k = 0; k < lines.size(); ++k) {
        const line_scan a = scan_line(was[k]), b = scan_line(lines[k]);
        const int64_t want = a.body.empty() ? a.depth : std::max<int64_t>(a.depth + by, 0);
        ASSERT_EQ(b.depth, want) << ::testing::PrintToString(was[k]) << " by " << by;
        ASSERT_EQ(b.body, a.body) << ::testing::PrintToString(was[k]) << " by " << by;
      }
    }
  }
}
