// What the checker knows of NASM's side of a line, table by table.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "check/json_text.h"
#include "check/run.h"
#include "cond/cond.h"

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

TEST(CheckLex, FirstWordsOneEditFromAStatementOrWithPunctuationGlued) {
  struct row {
    std::string_view body, meant;
    size_t len;
    bool glued;
  };
  const row cases[] = {
      {"whlie ecx != 0", "while", 5, false},   // two letters swapped
      {"wile ecx != 0", "while", 4, false},    // one dropped
      {"whille ecx != 0", "while", 6, false},  // one added
      {"Esle", "else", 4, false},
      {"ned ; loop", "end", 3, false},
      {"elfi eax == 2", "elif", 4, false},
      {"iff eax == 1", "if", 3, false},
      {"of eax == 1", "if", 2, false},
      {"end.", "end", 3, true},
      {"Elif: eax == 2", "elif", 4, true},
      {"Elif:eax == 2", "elif", 4, true},
      {"else,", "else", 4, true},
      {"end;done", "end", 3, true},
      {"while! ecx != 0", "while", 5, true},
      // Instructions, and words whose line does not fit the statement.
      {"and eax, 1", "", 0, false},
      {"and", "", 0, false},
      {"in al, dx", "", 0, false},
      {"bnd jmp rbx", "", 0, false},
      {"ned eax, 1", "", 0, false},   // operands after it: an instruction or a macro's call
      {"wile ecx", "", 0, false},     // no condition after it
      {"end1", "", 0, false},         // a name with a digit
      {"end_", "", 0, false},
      {"end: nop", "", 0, false},     // a label with an instruction after it
      {"end.x", "", 0, false},
      {"while", "", 0, false},        // the word itself is no slip
      {"elie eax == 1", "elif", 4, false},  // one edit from else too, which takes no condition
      {"elie", "else", 4, false},           // ... and from elif, which needs one
  };
  for (const row& c : cases) {
    const near_word n = near_statement(c.body);
    EXPECT_EQ(n.meant, c.meant) << c.body;
    if (c.meant.empty()) continue;
    EXPECT_EQ(n.len, c.len) << c.body;
    EXPECT_EQ(n.glued, c.glued) << c.body;
  }
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

TEST(CheckLex, OperatorLookAlikesOutsideQuotes) {
  const struct {
    std::string_view cond, meant;  // meant empty: none
    size_t at;
  } cases[] = {
      {"eax=1", "==", 3},         {"ecx => 2", ">=", 4},    {"ecx =< 2", "<=", 4},
      {"al <> 0", "!=", 3},       {"eax === 1", "==", 4},   {"eax !== 1", "!=", 4},
      {"a < = b", "<=", 2},       {"a ! = b", "!=", 2},     {"eax ult 5", "ULT", 4},
      {"eax Uge 5", "UGE", 4},    {"eax \xe2\x89\xa0 1", "!=", 4},
      {"eax == 1", "", 0},        {"eax >= 1", "", 0},      {"al == '='", "", 0},
      {"al != '<>'", "", 0},      {"eax == 1 ; a = b", "", 0}, {"eax ULT result", "", 0},
      {"x == y<<2", "", 0},
  };
  for (const auto& c : cases) {
    const std::optional<lookalike> l = find_lookalike(c.cond);
    EXPECT_EQ(l ? l->meant : "", c.meant) << c.cond;
    if (l && !c.meant.empty()) {
      EXPECT_EQ(l->at, c.at) << c.cond;
    }
  }
}

TEST(CheckLex, TwoComparisonsJoined) {
  const struct {
    std::string_view cond;
    bool joined;
  } cases[] = {
      {"al UGE 'a' && al ULE 'z'", true}, {"eax == 1 || eax == 2", true},
      {"eax == 1 and ebx == 2", true},    {"eax == 1 OR eax == 2", true},
      {"eax == FLAGS_AND_MASK", false},   {"eax == a && b", false},
      {"al == '&&' ; x == y", false},     {"eax == 1 ; and ebx == 2", false},
  };
  for (const auto& c : cases) EXPECT_EQ(find_joint(c.cond).has_value(), c.joined) << c.cond;
}

TEST(CheckLex, ConditionsInAnotherLanguagesSyntax) {
  const struct {
    std::string_view cond, bare;  // bare empty: none
  } cases[] = {
      {"(eax == 1)", "eax == 1"},   {"(eax == 1) {", "eax == 1"}, {"eax == 1 {", "eax == 1"},
      {"ecx != 0:", "ecx != 0"},    {"eax == 1 then", "eax == 1"}, {"(a) == (b)", ""},
      {"eax == (1+2)", ""},         {"al == '{'", ""},             {"al == ':'", ""},
      {"eax == undo", ""},          {"(eax == 1) ; why", "eax == 1"},
  };
  for (const auto& c : cases) EXPECT_EQ(find_foreign(c.cond).bare, c.bare) << c.cond;
}

// Each pre-filter against its full twin, on every text of up to four pieces over the bytes the
// twins look at (and one other letter), and on 300,000 longer ones drawn from them: wherever the twin finds what its warning acts on, the
// pre-filter must let the text through. The lookalike warning acts only where the condition
// splits with a byte of the look-alike beside the operator; the joint and foreign ones where the
// twin finds anything.
TEST(CheckLex, PreFiltersPassEverythingTheirFullTestsFind) {
  const std::string_view bytes[] = {
      "=", "!", "<", ">", " ", "\t", "&", "|", "a", "n", "d", "o", "r", "u", "U", "l",
      "t", "1", ";", "'", "(", ")", "{", ":", "\xe2\x89\xa0", "x"};
  const size_t nb = std::size(bytes);
  size_t seen = 0;
  std::string s;
  std::vector<size_t> at;
  const auto each = [&](auto&& self, size_t left) -> void {
    const auto acts = [&](std::string_view t) {
      if (!find_lookalike(t)) return false;
      const std::optional<cond3> c = parse_if(t);
      if (!c) return false;
      const char l = c->lhs.back(), r = c->rhs[0];
      return l == '=' || l == '<' || l == '!' || l == '>' || r == '=' || r == '>';
    };
    ++seen;
    ASSERT_TRUE(!acts(s) || may_lookalike(s)) << '"' << s << '"';
    ASSERT_TRUE(!find_joint(s) || may_join(s)) << '"' << s << '"';
    ASSERT_TRUE(find_foreign(s).what.empty() || may_be_foreign(s)) << '"' << s << '"';
    if (left == 0) return;
    for (size_t k = 0; k < nb; ++k) {
      const size_t n = s.size();
      s += bytes[k];
      self(self, left - 1);
      s.resize(n);
      if (::testing::Test::HasFatalFailure()) return;
    }
  };
  each(each, 4);
  EXPECT_GT(seen, size_t{450'000});
  uint64_t x = 88172645463325252u;  // xorshift: the same texts every run
  for (int n = 0; n < 300'000 && !HasFatalFailure(); ++n) {
    s.clear();
    for (int len = 5 + static_cast<int>(x % 6); len > 0; --len) {
      x ^= x << 13, x ^= x >> 7, x ^= x << 17;
      s += bytes[x % nb];
    }
    each(each, 0);
  }
  // Longer texts the short ones cannot show: a joint after a tab, the look-alikes of whole
  // conditions.
  for (std::string_view t : {"eax == 1\tand ebx == 2", "eax == 1\t&& ebx == 2", "eax !== 1",
                             "eax === 1", "eax ult 3 == 1", "al == 1 (or al == 2)"}) {
    EXPECT_TRUE(!find_joint(t) || may_join(t)) << t;
    EXPECT_TRUE(!find_lookalike(t) || may_lookalike(t)) << t;
  }
}

// Edits as an editor makes them: in a line, a line inserted, a line removed, past the end.
TEST(CheckFix, EditsMadeOnTheText) {
  const struct {
    std::string_view text;
    std::vector<edit> fix;
    std::string_view want;
  } cases[] = {
      {"if ecx => 2\nend\n", {{1, 8, 10, ">="}}, "if ecx >= 2\nend\n"},
      {"a\nb\n", {{2, 1, 1, "x\n"}}, "a\nx\nb\n"},
      {"a\n\nb\n", {{.line = 2, .col = 1, .end_col = 1, .text = "", .end_line = 3}}, "a\nb\n"},
      {"a\r\nb\r\n", {{1, 2, 2, "!"}}, "a!\r\nb\r\n"},
      {"a\nb", {{3, 1, 1, "end\n"}}, "a\nbend\n"},
      {"x\ny\n", {{2, 1, 1, ";"}, {1, 1, 1, ";"}}, ";x\n;y\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(apply_fix(c.text, c.fix), c.want) << c.text;
}

// JSON strings, as the checker's --format=json and the language server write them: well-formed
// UTF-8 passes as it is, so that a file name or a line in UTF-8 reads back as itself; a byte that
// begins no well-formed sequence becomes U+FFFD, one for each such byte; control bytes and DEL
// are escaped.
TEST(CheckFormat, JsonStringsKeepUtf8AndReplaceOtherBytes) {
  // `n` replacement characters (U+FFFD).
  const auto bad = [](int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += "\xef\xbf\xbd";
    return r;
  };
  const struct {
    std::string_view in;
    std::string want;
  } cases[] = {
      {"plain.s", "\"plain.s\""},
      {"q\"b\\.s", "\"q\\\"b\\\\.s\""},
      {"t\tn\nc\x01\x1f\x7f", "\"t\\tn\\nc\\u0001\\u001f\\u007f\""},
      {"cr\r", "\"cr\\u000d\""},
      {std::string_view("nul\0.s", 6), "\"nul\\u0000.s\""},
      {"\xc3\xa9.s", "\"\xc3\xa9.s\""},                                      // é
      {"\xe2\x82\xac\xf0\x9f\x98\x80", "\"\xe2\x82\xac\xf0\x9f\x98\x80\""},  // € and an emoji
      {"\xff.s", "\"" + bad(1) + ".s\""},         // never in UTF-8
      {"\x80x", "\"" + bad(1) + "x\""},           // a lone continuation byte
      {"\xc3", "\"" + bad(1) + "\""},             // cut short at the end
      {"\xc3x", "\"" + bad(1) + "x\""},           // cut short by another byte
      {"\xc0\xaf", "\"" + bad(2) + "\""},         // an overlong "/"
      {"\xe0\x80\xaf", "\"" + bad(3) + "\""},     // overlong in three bytes
      {"\xed\xa0\x80", "\"" + bad(3) + "\""},     // a surrogate
      {"\xf4\x90\x80\x80", "\"" + bad(4) + "\""}, // above U+10FFFF
      {"\xe2\x82", "\"" + bad(2) + "\""},         // three bytes cut to two
  };
  for (const auto& c : cases) {
    std::string got = "[";
    json_string(got, c.in);
    EXPECT_EQ(got, "[" + c.want) << c.want;
  }
  // The file name of --format=json goes through it.
  diag d;
  std::string got;
  format_json(got, "\xff", d);
  EXPECT_EQ(got.substr(0, 14), "{\"file\": \"" + bad(1) + "\"");
}

// With blocks, each line as the translation read it and each block's reach, for the server: the
// lines after a stop too, as they would have been read, and a label NASM reads at a body's start.
TEST(CheckFacts, EachLineAsTheTranslationReadIt) {
  struct fact {
    stmt kind;
    int32_t depth;
    uint32_t at, body, word, label;
    int32_t block;
  };
  const struct {
    std::string_view text;
    std::vector<fact> want;
    std::vector<int64_t> reach;
  } cases[] = {
      {"start:\nif eax == 1\n& .x: nop\nelse\n& while ecx != 0\n&& inc ecx\n& end\nend\n"
       "  jmp start ; back\n",
       {{stmt::plain, 0, 0, 6, 0, 5, -1},
        {stmt::if_, 0, 0, 11, 2, 0, 0},
        {stmt::plain, 1, 2, 7, 0, 2, -1},
        {stmt::else_, 0, 0, 4, 4, 0, 0},
        {stmt::while_, 1, 2, 14, 5, 0, 1},
        {stmt::plain, 2, 3, 7, 0, 0, -1},
        {stmt::end, 1, 2, 3, 3, 0, 1},
        {stmt::end, 0, 0, 3, 3, 0, 0},
        {stmt::plain, 0, 2, 16, 0, 0, -1}},
       {6, 5}},
      // Stopped at line 4: the while-block reaches the line before it; the if-block the line
      // before the blank line that closed it. Line 5 is read although not translated.
      {"while ecx != 0\r\n& if eax == 1\r\n&& nop\r\n\r\n& if ebx ==\r\nlbl: dd 0\r\n",
       {{stmt::while_, 0, 0, 14, 5, 0, 0},
        {stmt::if_, 1, 2, 11, 2, 0, 1},
        {stmt::plain, 2, 3, 3, 0, 0, -1},
        {stmt::blank, 0, 0, 0, 0, 0, -1},
        {stmt::if_, 1, 2, 9, 2, 0, -1},
        {stmt::plain, 0, 0, 9, 0, 3, -1}},
       {3, 2}},
      // Open at the end of the input: it reaches the last line. A last line without "\n".
      {"if eax == 1\n& x:",
       {{stmt::if_, 0, 0, 11, 2, 0, 0}, {stmt::plain, 1, 2, 2, 0, 1, -1}},
       {1}},
      {"", {}, {}},
  };
  for (const auto& c : cases) {
    check_opts o;
    o.blocks = true;
    std::vector<diag> ds;
    const check_result r = check_text(c.text, o, ds);
    ASSERT_EQ(r.facts.size(), c.want.size()) << c.text;
    for (size_t i = 0; i < c.want.size(); ++i) {
      const line_fact& g = r.facts[i];
      const fact& w = c.want[i];
      EXPECT_EQ(g.kind, w.kind) << c.text << " line " << i;
      EXPECT_EQ(g.depth, w.depth) << c.text << " line " << i;
      EXPECT_EQ(g.at, w.at) << c.text << " line " << i;
      EXPECT_EQ(g.body, w.body) << c.text << " line " << i;
      EXPECT_EQ(g.word, w.word) << c.text << " line " << i;
      EXPECT_EQ(g.label, w.label) << c.text << " line " << i;
      EXPECT_EQ(g.block, w.block) << c.text << " line " << i;
    }
    EXPECT_EQ(r.reach, c.reach) << c.text;
  }
  // Without blocks, nothing of it.
  std::vector<diag> ds;
  EXPECT_TRUE(check_text("if eax == 1\nend\n", check_opts{}, ds).facts.empty());
}

// 100,000 blocks nested in one another, in the shapes a generator writes: the checker walks
// them with no recursion as deep as the nesting, and records every block with its parent.
TEST(CheckDeep, AHundredThousandNestedBlocks) {
  constexpr int deep = 100000;
  for (const std::string_view step : {"if eax == 1\n", "while ecx != 0\n", "if eax == 1\nelse\n"}) {
    std::string text = "f:\n";
    for (int i = 0; i < deep; ++i) text += step;
    text += "nop\n";
    check_opts o;
    o.blocks = true;
    o.keep = true;
    std::vector<diag> got;
    const check_result r = check_text(text, o, got);
    EXPECT_EQ(r.status, 0) << step;
    ASSERT_EQ(r.blocks.size(), static_cast<size_t>(deep)) << step;
    EXPECT_EQ(r.blocks.back().parent, deep - 2) << step;
    // The outermost block is closed by the end of the input: its close is the number of lines.
    EXPECT_EQ(r.blocks.front().close, std::count(text.begin(), text.end(), '\n')) << step;
    EXPECT_EQ(r.blocks.front().how, closed_by::input_end) << step;
  }
}

// Each warning's record carries an input on which it warns and the nearest one on which it
// stays quiet; both are checked here, so a record cannot come without a working pair.
TEST(CheckWarnings, EveryRecordFiresOnItsExampleAndNotOnItsQuietTwin) {
  ASSERT_FALSE(warning_table().empty());
  for (const warning_rec& w : warning_table()) {
    const auto fired = [&](std::string_view text) {
      std::vector<diag> ds;
      check_text(text, check_opts{}, ds);
      return std::count_if(ds.begin(), ds.end(), [&](const diag& d) {
        return d.lvl == level::warning && d.name == static_cast<int>(w.id);
      });
    };
    EXPECT_EQ(fired(w.fires), 1) << w.name << " on:\n" << w.fires;
    EXPECT_EQ(fired(w.quiet), 0) << w.name << " on:\n" << w.quiet;
    EXPECT_EQ(name_of(w.id), w.name);
    EXPECT_EQ(wname_from(w.name), w.id);
  }
}


// Lines on which a second warning would come, were it not quieted by the first one's record.
TEST(CheckWarnings, WhatAFindingQuietsOnItsLine) {
  const struct {
    std::string_view text;
    std::vector<std::string> told;  // the warnings, in order
  } cases[] = {
      {"if Count => 2\nend\n", {"operator-lookalike"}},
      {"if Count UGE 1 && al ULE 2\nend\n", {"compound-condition"}},
      {"if (Count == 1) {\nend\n", {"foreign-syntax"}},
      {"if Count > 5 ; skip when eax == 0\nend\n", {"comment-in-condition"}},
      {"while ecx < MAX_RESULTS\nend\n", {"operator-in-name"}},
      {"%define DEBUG 0\nif DEBUG == 1\nend\n", {"defined-name"}},
      {"if eax == 1\n& nop\nelse:\n& nop\nend\n", {"keyword-label"}},
      {"if eax == 1\n& nop\nnext: inc ecx\nend\n", {"label-in-block"}},
      // Quieted only on its own line: the next statement is looked at afresh.
      {"if Count => 2\nend\nif Count == 2\nend\n", {"operator-lookalike", "lowered-name"}},
  };
  for (const auto& k : cases) {
    std::vector<diag> ds;
    check_text(k.text, check_opts{}, ds);
    std::vector<std::string> told;
    for (const diag& d : ds)
      if (d.lvl == level::warning) told.emplace_back(name_of(static_cast<wname>(d.name)));
    EXPECT_EQ(told, k.told) << k.text;
  }
}

// Silenced, a warning takes its notes with it: on its example, none of the notes that follow it
// when it is told is left, to stand after some other diagnostic or alone.
TEST(CheckWarnings, ASilencedWarningLeavesNoNoteOfItsOwn) {
  size_t looked = 0;  // notes looked for
  for (const warning_rec& w : warning_table()) {
    std::vector<diag> told, silenced;
    check_text(w.fires, check_opts{}, told);
    check_opts o;
    o.off = wset{1} << static_cast<int>(w.id);
    check_text(w.fires, o, silenced);
    std::vector<std::string> notes;
    for (size_t i = 0; i < told.size(); ++i)
      if (told[i].name == static_cast<int>(w.id))
        for (size_t k = i + 1; k < told.size() && told[k].lvl == level::note; ++k)
          notes.push_back(told[k].text);
    looked += notes.size();
    for (const diag& d : silenced) {
      EXPECT_NE(d.name, static_cast<int>(w.id)) << w.name;
      if (d.lvl == level::note) {
        EXPECT_EQ(std::count(notes.begin(), notes.end(), d.text), 0) << w.name << ": " << d.text;
      }
    }
  }
  EXPECT_GE(looked, warning_table().size());
}

// The whole of a file of the source tree, as lines.
static std::vector<std::string> lines_of(const char* rel) {
  std::ifstream f(std::string(NESTASM_SOURCE_DIR) + "/" + rel);
  std::vector<std::string> out;
  for (std::string l; std::getline(f, l);) out.push_back(l);
  return out;
}

// The manual page's entry of each warning starts with the record's sentence, `code` set in bold;
// docs/checker.md's table gives it in its second column. Each entry and row is a record's.
TEST(CheckWarnings, TheManualPageAndTheTableSayEachRecordsSentence) {
  const std::vector<std::string> page = lines_of("nestasm-check.1");
  const std::vector<std::string> md = lines_of("docs/checker.md");
  ASSERT_FALSE(page.empty());
  ASSERT_FALSE(md.empty());
  const auto in_bold = [](std::string_view t) {
    std::string o;
    bool open = false;
    for (char ch : t) {
      if (ch == '`') o += (open = !open) ? "\\fB" : "\\fR";
      else o += ch;
    }
    return o;
  };
  std::map<std::string, std::string> entries, rows;  // name: the sentence each page gives
  const auto section = std::find(page.begin(), page.end(), ".SS Warnings");
  ASSERT_NE(section, page.end());
  for (auto l = section; l + 2 < page.end() && !l[1].starts_with(".SH"); ++l)
    if (*l == ".TP" && l[1].starts_with(".B ")) entries[l[1].substr(3)] = l[2];
  for (const std::string& l : md) {
    if (!l.starts_with("| `")) continue;
    const size_t name_end = l.find("` | ");
    const size_t doc_end = l.find(" | ", name_end + 4);
    ASSERT_NE(doc_end, std::string::npos) << l;
    rows[l.substr(3, name_end - 3)] = l.substr(name_end + 4, doc_end - name_end - 4);
  }
  for (const warning_rec& w : warning_table()) {
    EXPECT_EQ(entries[std::string(w.name)], in_bold(w.doc)) << w.name;
    EXPECT_EQ(rows[std::string(w.name)], w.doc) << w.name;
  }
  EXPECT_EQ(entries.size(), warning_table().size());
  EXPECT_EQ(rows.size(), warning_table().size());
}
// Every suggestion the checker offers, made on the file by hand as an editor makes it, leaves
// the diagnostic it was offered for gone: run over the input of every golden case.
TEST(CheckFixes, EverySuggestionAppliedMakesItsDiagnosticGo) {
  namespace fs = std::filesystem;
  size_t tried = 0;
  for (const char* dir : {"tests/check", "tests/golden"}) {
    for (const auto& e : fs::directory_iterator(fs::path(NESTASM_SOURCE_DIR) / dir)) {
      const fs::path in = e.path() / "in.s";
      if (!fs::is_regular_file(in)) continue;
      std::ifstream f(in, std::ios::binary);
      const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
      std::vector<diag> ds;
      const check_result was = check_text(text, check_opts{}, ds);
      for (const diag& d : ds) {
        if (d.fix.empty()) continue;
        ++tried;
        // The edits made on the text from the last to the first, as byte ranges.
        std::vector<size_t> starts = {0};
        for (size_t p = 0; (p = text.find('\n', p)) != std::string::npos; ++p) starts.push_back(p + 1);
        const auto at = [&](int64_t line, size_t col) {
          return line > static_cast<int64_t>(starts.size())
                     ? text.size()
                     : starts[static_cast<size_t>(line - 1)] + col - 1;
        };
        std::vector<edit> es = d.fix;
        std::sort(es.begin(), es.end(), [](const edit& a, const edit& b) {
          return a.line != b.line ? a.line > b.line : a.col > b.col;
        });
        std::string fixed = text;
        int64_t moved = 0;  // lines inserted above the diagnostic, less those removed
        bool removed = false;  // the diagnostic's own line is removed: nothing can stay on it
        for (const edit& x : es) {
          const size_t from = at(x.line, x.col), to = at(x.end_line ? x.end_line : x.line, x.end_col);
          fixed = fixed.substr(0, from) + x.text + fixed.substr(to);
          removed = removed || (x.line <= d.line && d.line < x.end_line);
          if (x.line <= d.line) {
            moved += std::count(x.text.begin(), x.text.end(), '\n');
            if (x.end_line > x.line) moved -= x.end_line - x.line;
          }
        }
        std::vector<diag> after;
        const check_result now = check_text(fixed, check_opts{}, after);
        const auto same = [&](const diag& a) {
          return a.lvl != level::note && a.name == d.name && a.status == d.status;
        };
        for (const diag& a : after)
          EXPECT_FALSE(!removed && same(a) && a.line == d.line + moved)
              << in << ":" << d.line << ": " << d.text << "\nstays after the fix:\n" << fixed;
        // Nor does it fail sooner, or draw the same warning elsewhere.
        if (now.status != 0) {
          EXPECT_TRUE(was.status != 0 && now.stop >= was.stop + moved &&
                      !(d.lvl == level::error && now.stop == was.stop + moved))
              << in << ":" << d.line << ": " << d.text << "\nfails at " << now.stop + 1
              << " after the fix:\n" << fixed;
        }
        EXPECT_LE(std::count_if(after.begin(), after.end(), same),
                  std::count_if(ds.begin(), ds.end(), same) - 1)
            << in << ":" << d.line << ": " << d.text << "\ndrawn again by the fix:\n" << fixed;
      }
    }
  }
  EXPECT_GE(tried, 20u) << "too few suggestions to say anything";
}

// A diagnostic's suggestion as one line: where the diagnostic is, what it is, and each edit,
// "3 missing-end: 3:1-3:1 "end\n"", its text with line ends, tabs and backslashes written as
// escapes.
static std::string fix_line(const diag& d) {
  std::string s = std::to_string(d.line) + " " +
                  (d.lvl == level::error ? "status " + std::to_string(d.status)
                                         : std::string(name_of(static_cast<wname>(d.name)))) +
                  ":";
  for (const edit& e : d.fix) {
    s += " " + std::to_string(e.line) + ":" + std::to_string(e.col) + "-" +
         std::to_string(e.end_line ? e.end_line : e.line) + ":" + std::to_string(e.end_col) + " \"";
    for (char c : e.text) {
      if (c == '\n' || c == '\t' || c == '\\') s += '\\';
      s += c == '\n' ? 'n' : c == '\t' ? 't' : c;
    }
    s += "\"";
  }
  return s;
}

// The exact edits of every suggestion that a golden case's input draws, with the options
// nestasm-check has by default. A case run with --format=json pins its edits in its own
// expect.out and is left out; every other case is here, or draws no suggestion.
TEST(CheckFixes, TheEditsOfEveryGoldenInput) {
  namespace fs = std::filesystem;
  const struct {
    std::string_view dir;
    std::vector<std::string_view> fixes;
  } cases[] = {
      {"check/error-bad-if-lookalike",
       {R"(4 status 3: 4:7-4:8 "==")"}},
      {"check/error-bad-if-lowercase-operator",
       {R"(1 status 3: 1:8-1:11 "ULT")"}},
      {"check/error-elif-bad-one-marker-short",
       {R"(4 status 5: 4:1-4:5 "& elif")"}},
      {"check/error-else-bad-closed-by-comment",
       {R"(5 status 8: 3:12-3:12 " ; the other case" 4:1-5:1 "")"}},
      {"check/error-end-bad-closed-by-end-with-too-few-markers",
       {R"(6 status 11: 5:1-5:3 "& & ")"}},
      {"check/error-end-bad-extra-end",
       {R"(4 status 11: 4:1-5:1 "")"}},
      {"check/error-end-bad-nothing-open",
       {R"(2 status 11: 2:1-3:1 "")"}},
      {"check/error-end-bad-own-markers",
       {R"(6 status 11: 6:1-6:6 "end")"}},
      {"check/error-end-bad-wrong-marker-deep-in-file",
       {R"(34 closed-by-line: 34:1-34:1 "& & ")",
        R"(36 status 11: 34:1-34:1 "& & ")"}},
      {"check/error-imm-lhs-comment",
       {R"(1 status 10: 1:1-1:1 "; never runs\n" 1:13-1:26 "")"}},
      {"check/error-imm-lhs-elif",
       {R"(3 status 7: 3:6-3:16 "al ULE 'a'")"}},
      {"check/error-imm-lhs-if",
       {R"(1 status 4: 1:4-1:11 "eax > 5")"}},
      {"check/error-imm-lhs-while",
       {R"(1 status 10: 1:7-1:18 "ecx != 0x10")"}},
      {"check/error-skipped-text",
       {R"(3 status 3: 3:1-3:1 ";" 4:1-4:1 ";")"}},
      {"check/option-brief",
       {R"(4 missing-end: 4:1-4:1 "& end\n")"}},
      {"check/option-lines-error",
       {R"(1 status 11: 1:1-2:1 "")"}},
      {"check/option-output-full",
       {R"(2 tab-before-marker: 2:3-2:4 " ")",
        R"(3 marker-on-comment: 2:9-2:9 " ; c" 3:1-4:1 "")",
        R"(4 marker-on-comment: 4:1-5:1 "")"}},
      {"check/option-w-after-wno",
       {R"(3 else-text: 3:1-3:9 "elif ")"}},
      {"check/option-wno",
       {R"(2 tab-before-marker: 2:1-2:2 " ")"}},
      {"check/warn-closed-by-line-blank",
       {R"(4 closed-by-line: 4:1-5:1 "")",
        R"(6 status 11: 4:1-5:1 "")"}},
      {"check/warn-closed-by-line-comment-moved",
       {R"(4 closed-by-line: 3:12-3:12 " ; note" 4:1-5:1 "")",
        R"(6 status 11: 3:12-3:12 " ; note" 4:1-5:1 "")"}},
      {"check/warn-closed-by-line-label",
       {R"(3 closed-by-line: 3:1-3:1 "& & ")",
        R"(3 label-in-block: 3:1-3:1 ".")"}},
      {"check/warn-comment-in-condition",
       {R"(1 comment-in-condition: 1:1-1:1 "; skip when eax == 0\n" 1:11-1:32 "")"}},
      {"check/warn-continued-markers",
       {R"(2 continued-markers: 2:1-2:5 "\t")"}},
      {"check/warn-defined-name",
       {R"(7 defined-name: 7:4-7:15 "eax < LIMIT")"}},
      {"check/warn-else-text",
       {R"(3 else-text: 3:1-3:9 "elif ")"}},
      {"check/warn-foreign-syntax",
       {R"(1 foreign-syntax: 1:4-1:16 "eax == 1")",
        R"(4 foreign-syntax: 4:7-4:16 "ecx != 0")"}},
      {"check/error-end-bad-misspelt-while",
       {R"(3 misspelt-statement: 3:1-3:6 "while")",
        R"(5 status 11: 3:1-3:6 "while")"}},
      {"check/warn-misspelt-statement",
       {R"(4 misspelt-statement: 4:1-4:5 "Else")",
        R"(9 misspelt-statement: 9:1-9:4 "end")",
        R"(12 misspelt-statement: 12:5-12:6 "")",
        R"(14 misspelt-statement: 14:4-14:5 "")",
        R"(17 misspelt-statement: 17:4-17:5 " ;")"}},
      {"check/warn-keyword-label",
       {R"(4 keyword-label: 4:7-4:8 "")"}},
      {"check/warn-label-in-block",
       {R"(4 label-in-block: 4:1-4:1 ".")"}},
      {"check/warn-label-in-block-called",
       {R"(9 label-in-block: 9:1-9:1 "end\n")"}},
      // The core's suggestion, which nestasm-check then withdraws through NASM.
      {"check/nasm-fix-withdrawn",
       {R"(10 missing-end: 10:1-10:3 "& & ")"}},
      {"check/warn-extra-markers",
       {R"(6 extra-markers: 5:1-6:1 "" 8:1-8:1 "end\n")",
        R"(10 extra-markers: 10:1-10:5 "" 11:1-11:7 "")"}},
      {"check/warn-marker-on-comment",
       {R"(4 marker-on-comment: 4:1-5:1 "")"}},
      {"check/warn-marker-on-comment-moved",
       {R"(4 marker-on-comment: 3:12-3:12 " ; swap them" 4:1-5:1 "")"}},
      {"check/warn-missing-end",
       {R"(4 missing-end: 4:1-4:1 "& end\n")"}},
      {"check/warn-missing-end-at-depth-0",
       {R"(3 missing-end: 3:1-3:1 "end\n" 4:1-5:1 "")"}},
      {"check/warn-missing-end-before-number-on-left",
       {R"(3 missing-end: 3:1-3:1 "end\n")",
        R"(3 number-on-left: 3:4-3:14 "eax == 10h")"}},
      {"check/warn-missing-end-before-statement",
       {R"(6 missing-end: 6:1-6:1 "& end\n")"}},
      {"check/warn-missing-end-deep-in-file",
       {R"(34 missing-end: 34:1-34:3 "& & ")"}},
      {"check/warn-missing-end-statement-short",
       {R"(9 missing-end: 9:1-9:3 "& & ")"}},
      {"check/warn-not-a-statement",
       {R"(3 not-a-statement: 3:1-3:6 "elif")",
        R"(7 not-a-statement: 7:1-7:11 "if eax==1")"}},
      {"check/warn-not-a-statement-folds",
       {R"(4 not-a-statement: 4:1-4:9 "end")"}},
      {"check/warn-number-on-left",
       {R"(1 number-on-left: 1:4-1:14 "eax == 10h")",
        R"(4 number-on-left: 4:4-4:13 "eax != -1")",
        R"(7 number-on-left: 7:7-7:18 "ecx < 0b101")"}},
      {"check/warn-operator-lookalike",
       {R"(1 operator-lookalike: 1:8-1:10 ">=")",
        R"(4 operator-lookalike: 4:18-4:20 "!=")",
        R"(7 operator-lookalike: 7:8-7:11 "==")"}},
      {"check/fix-offered-past-a-later-error",
       {R"(3 status 3: 3:7-3:8 "==")"}},
      {"check/warn-confusable-character",
       {R"(1 confusable-character: 1:12-1:15 "-")",
        R"(2 confusable-character: 2:4-2:6 "e")",
        R"(5 confusable-character: 5:9-5:12 "")"}},
      {"check/warn-operator-lookalike-not-equal-twice",
       {R"(1 operator-lookalike: 1:8-1:11 "!=")"}},
      {"check/warn-skipped-statement",
       {R"(3 skipped-statement: 3:1-3:1 ";" 6:1-6:1 ";")",
        R"(15 skipped-statement: 15:1-15:1 ";")"}},
      {"check/warn-skipped-statement-in-else",
       {R"(5 skipped-statement: 5:1-5:1 ";")"}},
      {"check/warn-tab-before-marker",
       {R"(2 tab-before-marker: 2:1-2:2 " ")"}},
      {"golden/lines-passed-through",
       {R"(2 tab-before-marker: 2:1-2:2 " ")",
        R"(3 extra-markers: 3:1-3:3 "")",
        R"(7 marker-on-comment: 7:1-8:1 "")",
        R"(8 not-a-statement: 8:1-8:11 "if eax==1")"}},
      {"golden/status-04-imm-lhs-if",
       {R"(1 status 4: 1:4-1:12 "eax == 5")"}},
      {"golden/status-07-imm-lhs-elif",
       {R"(2 status 7: 2:6-2:15 "al == 'a'")"}},
      {"golden/status-10-imm-lhs-while",
       {R"(1 status 10: 1:7-1:16 "ecx UGT 0")"}},
      {"golden/status-11-end-bad-last-line",
       {R"(2 status 11: 2:1-2:6 "end")"}},
  };
  std::map<std::string, std::vector<std::string_view>> want;
  for (const auto& c : cases) want[std::string(c.dir)] = c.fixes;
  size_t seen = 0;
  for (const char* dir : {"check", "golden"}) {
    std::vector<fs::path> dirs;
    for (const auto& e : fs::directory_iterator(fs::path(NESTASM_SOURCE_DIR) / "tests" / dir))
      dirs.push_back(e.path());
    std::sort(dirs.begin(), dirs.end());
    for (const fs::path& p : dirs) {
      const fs::path in = p / "in.s";
      if (!fs::is_regular_file(in)) continue;
      const std::string name = std::string(dir) + "/" + p.filename().string();
      std::ifstream r(p / "run");
      const std::string run((std::istreambuf_iterator<char>(r)), std::istreambuf_iterator<char>());
      if (run.find("--format=json") != std::string::npos) continue;
      std::ifstream f(in, std::ios::binary);
      const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
      std::vector<diag> ds;
      check_text(text, check_opts{}, ds);
      std::vector<std::string> got;
      for (const diag& d : ds)
        if (!d.fix.empty()) got.push_back(fix_line(d));
      const auto it = want.find(name);
      const std::vector<std::string_view> expected =
          it == want.end() ? std::vector<std::string_view>{} : it->second;
      if (it != want.end()) ++seen;
      std::string row = "      {\"" + name + "\",\n       {";
      for (size_t i = 0; i < got.size(); ++i)
        row += (i ? ",\n        R\"(" : "R\"(") + got[i] + ")\"";
      row += "}},";
      EXPECT_EQ(std::vector<std::string>(expected.begin(), expected.end()), got)
          << name << ": its row would be\n" << row;
    }
  }
  EXPECT_EQ(seen, want.size()) << "a row names a case that is gone, or is run in JSON";
}
