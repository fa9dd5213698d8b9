// Suggestions left unchecked by the pass and checked later on chosen lines: what the later check
// gives those lines is what checking every suggestion gives them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "check/check.h"

// A diagnostic whole: place, text, and the edits of its fix.
static std::string whole(const diag& d) {
  std::string s = std::to_string(static_cast<int>(d.lvl)) + " " + std::to_string(d.line) + ":" +
                  std::to_string(d.col) + "-" + std::to_string(d.end_col) + " " +
                  std::to_string(d.name) + "/" + std::to_string(d.status) + " " + d.text;
  for (const edit& e : d.fix)
    s += " {" + std::to_string(e.line) + ":" + std::to_string(e.col) + "-" +
         std::to_string(e.end_line) + ":" + std::to_string(e.end_col) + " " + e.text + "}";
  return s;
}

// The errors and warnings on line `at`, each with the notes that follow it.
static std::vector<std::string> on_line(const std::vector<diag>& ds, int64_t at) {
  std::vector<std::string> r;
  bool in = false;
  for (const diag& d : ds) {
    if (d.lvl != level::note) in = d.line == at;
    if (in) r.push_back(whole(d));
  }
  return r;
}

static std::vector<diag> check(std::string_view text, const check_opts& o, check_result* res = nullptr) {
  std::vector<diag> ds;
  check_result r = check_text(text, o, ds);
  if (res) *res = std::move(r);
  return ds;
}

// Every input of the checker's golden cases and of the warnings' examples.
static std::vector<std::pair<std::string, std::string>> inputs() {
  std::vector<std::pair<std::string, std::string>> r;
  for (const auto& f : std::filesystem::directory_iterator(NESTASM_SOURCE_DIR "/tests/check")) {
    std::ifstream in(f.path() / "in.s", std::ios::binary);
    if (!in) continue;
    std::stringstream b;
    b << in.rdbuf();
    r.push_back({f.path().filename().string(), b.str()});
  }
  for (const warning_rec& w : warning_table()) r.push_back({std::string(w.name), std::string(w.fires)});
  return r;
}

TEST(CheckLazy, EachLineCheckedAloneGetsWhatCheckingEverySuggestionGivesIt) {
  size_t lines = 0, fixes = 0;
  for (const auto& [name, text] : inputs()) {
    const std::vector<diag> all = check(text, check_opts{});
    check_opts lazy;
    lazy.fixes = false;
    check_result r;
    const std::vector<diag> unchecked = check(text, lazy, &r);
    ASSERT_EQ(unchecked.size() > 0, all.size() > 0) << name;
    for (const diag& d : unchecked) EXPECT_TRUE(d.fix.empty()) << name << ": " << whole(d);
    // Every line the full check offers a fix on is one the pass left a suggestion on.
    for (const diag& d : all)
      if (!d.fix.empty()) {
        ++fixes;
        EXPECT_TRUE(std::binary_search(r.unchecked.begin(), r.unchecked.end(), d.line))
            << name << ": " << whole(d);
      }
    for (const int64_t at : r.unchecked) {
      ++lines;
      const std::vector<int64_t> one = {at};
      check_opts o;
      o.fixes_on = &one;
      const std::vector<diag> got = check(text, o);
      EXPECT_EQ(on_line(got, at), on_line(all, at)) << name << " line " << at;
      // The other lines stay unchecked.
      for (const diag& d : got)
        if (d.line != at) {
          EXPECT_TRUE(d.fix.empty()) << name << ": " << whole(d);
        }
    }
    // Every line of them at once: the whole check.
    check_opts o;
    o.fixes_on = &r.unchecked;
    const std::vector<diag> got = check(text, o);
    std::vector<std::string> a, b;
    for (const diag& d : got) a.push_back(whole(d));
    for (const diag& d : all) b.push_back(whole(d));
    EXPECT_EQ(a, b) << name;
  }
  EXPECT_GT(lines, 60u);
  EXPECT_GT(fixes, 40u);
}

// The unchecked form: the headline without the rewrite, no note about one that would not do.
TEST(CheckLazy, UncheckedDiagnosticsSayNothingOfTheRewrite) {
  const struct {
    std::string_view text;
    std::vector<int64_t> lines;  // res.unchecked
    std::string_view first;      // the text of the first diagnostic
    size_t count;                // diagnostics, notes with them
  } cases[] = {
      {"if 10h == eax\nend\n", {1}, "cmp takes no number on the left", 2},
      // Line 5's `end` would not do; checked, it draws a note saying so.
      {"if eax == 1\n& nop\nelsif eax == 2\n& nop\nendif\nend\n", {3, 5},
       "`elsif` is no statement of nestasm", 5},
      // A label waits for its block to close: its line comes in late, and in order.
      {"while ecx != 0\n& dec ecx\nnext:\nend\nif 10h == eax\nend\n", {3, 5},
       "label `next` in a block splits NASM's local labels", 5},
      {"nop\n", {}, "", 0},
  };
  for (const auto& c : cases) {
    check_opts lazy;
    lazy.fixes = false;
    check_result r;
    const std::vector<diag> ds = check(c.text, lazy, &r);
    EXPECT_EQ(r.unchecked, c.lines) << c.text;
    ASSERT_EQ(ds.size(), c.count) << c.text;
    if (!ds.empty()) {
      EXPECT_EQ(ds[0].text, c.first) << c.text;
    }
    for (const diag& d : ds) EXPECT_EQ(d.text.find("would not do"), std::string::npos) << d.text;
  }
}
