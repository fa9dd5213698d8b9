// NASM's preprocessor as the checker follows it: which %if branches it decides, with which
// options, and the names an %include brings; each decided row is held against real NASM.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "check/check.h"

namespace {

// Whether the checker takes the condition of `dir` (a %if line) as true (1), false (0) or
// undecided (-1): a statement in the branch NASM skips draws skipped-statement.
int decided(const std::string& pre, const std::string& dir, const std::vector<std::string>& args,
            bool known) {
  check_opts o;
  o.fixes = false;
  o.nasm_args = &args;
  o.nasm_known = known;
  const auto hidden = [&](const std::string& text, int64_t line) {
    std::vector<diag> ds;
    check_text(text, o, ds);
    for (const diag& d : ds)
      if (d.name == static_cast<int>(wname::skipped_statement) && d.line == line) return true;
    return false;
  };
  const int64_t at = 2 + std::count(pre.begin(), pre.end(), '\n');
  const bool no = hidden(pre + dir + "\nif eax == 1\n%endif\n", at);
  const bool yes = hidden(pre + dir + "\n%else\nif eax == 1\n%endif\n", at + 1);
  EXPECT_FALSE(no && yes) << dir;
  return no ? 0 : yes ? 1 : -1;
}

// What NASM 2.16 itself decides: the size of `db 1` against `db 1, 2`. -1 without NASM.
int nasm_decides(const std::string& pre, const std::string& dir, const std::vector<std::string>& args) {
  const std::filesystem::path d = std::filesystem::temp_directory_path() / "nestasm-pre-test";
  std::filesystem::create_directories(d);
  std::ofstream(d / "t.asm") << pre << dir << "\ndb 1\n%else\ndb 1, 2\n%endif\n";
  std::string cmd = "cd " + d.string() + " && rm -f o && nasm -f bin";
  for (const std::string& a : args)
    if (!a.starts_with("-f")) cmd += " '" + a + "'";
  cmd += " -o o t.asm >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return -2;
  const auto size = std::filesystem::file_size(d / "o");
  return size == 1 ? 1 : size == 2 ? 0 : -2;
}

bool have_nasm() { return std::system("nasm -v >/dev/null 2>&1") == 0; }

struct row {
  std::string pre;   // lines before the %if
  std::string dir;
  int want;          // 1, 0, -1: undecided
  std::vector<std::string> args = {};
  bool known = false;
};

const std::vector<row>& rows() {
  static const std::vector<row> r = {
      // %ifdef: the file's single-line macros, the options' -D and -U.
      {"%define X 1\n", "%ifdef X", 1},
      {"%idefine X 1\n", "%ifdef x", 1},
      {"%define X 1\n%undef X\n", "%ifdef X", -1},
      {"%define X 1\n%undef X\n", "%ifdef X", 0, {"-felf64"}, true},
      {"%macro X 0\n%endmacro\n", "%ifdef X", -1},
      {"", "%ifdef DEBUG", -1},                      // a build may pass -DDEBUG
      {"", "%ifdef DEBUG", 0, {"-felf64"}, true},    // the build's options pass none
      {"", "%ifdef DEBUG", 1, {"-DDEBUG"}, true},
      {"", "%ifdef DEBUG", 1, {"-dDEBUG=0"}, true},
      {"", "%ifdef debug", 0, {"-DDEBUG"}, true},
      {"", "%ifdef DEBUG", 0, {"-DDEBUG", "-UDEBUG"}, true},
      {"%undef DEBUG\n", "%ifdef DEBUG", 0, {"-DDEBUG"}, true},
      {"", "%ifndef DEBUG", 1, {"-felf64"}, true},
      {"", "%ifdef __OUTPUT_FORMAT__", -1, {"-felf64"}, true},
      {"", "%ifdef", 0},
      {"%ifdef DEBUG\n%define LOG 1\n%endif\n", "%ifdef LOG", -1},
      {"%if 0\n%define LOG 1\n%endif\n", "%ifdef LOG", 0, {"-felf64"}, true},
      {"%macro m 0\n%define LOG 1\n%endmacro\n", "%ifdef LOG", -1, {"-felf64"}, true},
      // %if with the options' values.
      {"", "%if DEBUG", 0, {"-DDEBUG=0"}, true},
      {"", "%if DEBUG", 1, {"-DDEBUG=2"}, true},
      {"%define N 0\n", "%if N", 0},
      // %ifidn, %ifidni: tokens, blanks between them not counted, strings by their text.
      {"", "%ifidn a,a", 1},
      {"", "%ifidn a b,a  b", 1},
      {"", "%ifidn a+b,a + b", 1},
      {"", "%ifidn \"a\",'a'", 1},
      {"", "%ifidn 1,01", 0},
      {"", "%ifidn ,", 0},
      {"", "%ifidn a,", 0},
      {"", "%ifidn A,a", -1},
      {"", "%ifidni A,a", 1},
      {"", "%ifidn a ,a", -1},
      {"", "%ifnidn 1,2", 1},
      // The first token.
      {"", "%ifnum 3", 1},
      {"", "%ifnum -3", 1},
      {"", "%ifnum 3 4", 1},
      {"", "%ifnum 0x10", 1},
      {"", "%ifnum (3)", 0},
      {"", "%ifnum \"a\"", 0},
      {"", "%ifnum", 0},
      {"", "%ifnum a", -1},
      {"", "%ifnnum 3", 0},
      {"", "%ifstr \"a\" \"b\"", 1},
      {"", "%ifstr `a`", 1},
      {"", "%ifstr 3", 0},
      {"", "%ifstr -\"a\"", 0},
      {"", "%ifid 3", 0},
      {"", "%ifid", 0},
      {"", "%ifid a", -1},
      {"", "%iftoken 3", 1},
      {"", "%iftoken \"a b\"", 1},
      {"", "%iftoken 3 4", 0},
      {"", "%iftoken -3", 0},
      {"", "%iftoken", 0},
      {"", "%iftoken a", -1},
      {"", "%ifempty", 1},
      {"", "%ifempty 3", 0},
      {"", "%ifempty \"\"", 0},
      {"", "%ifempty a", -1},
      {"", "%ifnempty", 0},
      // %ifmacro: the file's macros, in their case; NASM's own (struc) are not known.
      {"%macro M 0\n%endmacro\n", "%ifmacro M", 1},
      {"%macro M 0\n%endmacro\n", "%ifmacro M 0", 1},
      {"%macro M 1-2\n%endmacro\n", "%ifmacro M 2", -1},
      {"%imacro M 0\n%endmacro\n", "%ifmacro m", -1},
      {"", "%ifmacro struc", -1},
      // The context stack and the environment are not the file's.
      {"", "%ifctx x", -1},
      {"", "%ifenv HOME", -1},
  };
  return r;
}

TEST(CheckPre, WhichBranchesTheFileAndTheOptionsDecide) {
  for (const row& k : rows())
    EXPECT_EQ(decided(k.pre, k.dir, k.args, k.known), k.want) << k.pre << k.dir;
}

// Every row the checker decides, NASM decides the same way.
TEST(CheckPre, NasmDecidesEachDecidedRowAlike) {
  if (!have_nasm()) GTEST_SKIP() << "NASM is not on PATH";
  for (const row& k : rows())
    if (k.want >= 0) {
      EXPECT_EQ(nasm_decides(k.pre, k.dir, k.args), k.want) << k.pre << k.dir;
    }
}

// The %elif forms follow their %if forms, the long ones too.
TEST(CheckPre, ElifFormsAreDecidedAfterAFalseBranch) {
  const std::vector<std::string> none;
  EXPECT_EQ(decided("%if 0\n", "%elifnempty", none, false), 0);
  EXPECT_EQ(decided("%if 0\n", "%elifnempty 1", none, false), 1);
  EXPECT_EQ(decided("%if 0\n", "%elifntoken 3", none, false), 0);
  EXPECT_EQ(decided("%if 0\n", "%elifnum x", none, false), -1);
}

}  // namespace
