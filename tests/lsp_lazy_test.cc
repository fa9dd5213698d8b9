// Quick fixes checked when a codeAction asks for them: published diagnostics without them, a
// verdict computed once per version of the text, and no action where the rewrite would not do.
#include "lsp/lsp.h"

#include <gtest/gtest.h>

static std::string framed(std::string_view body) {
  std::string s;
  put_frame(s, body);
  return s;
}

static std::vector<json> sent(server& s) {
  std::vector<json> r;
  size_t at = 0;
  std::string_view body;
  std::string why;
  while (next_frame(s.out, at, body, why) == frame::message) r.push_back(json::parse(body));
  s.out.clear();
  return r;
}

static const char* uri = "file:///a.s";

static std::string open_msg(std::string_view text) {
  return framed(json{{"jsonrpc", "2.0"},
                     {"method", "textDocument/didOpen"},
                     {"params",
                      {{"textDocument",
                        {{"uri", uri}, {"languageId", "nestasm"}, {"version", 1}, {"text", text}}}}}}
                    .dump());
}

static std::string change_msg(std::string_view text, int version) {
  return framed(json{{"jsonrpc", "2.0"},
                     {"method", "textDocument/didChange"},
                     {"params",
                      {{"textDocument", {{"uri", uri}, {"version", version}}},
                       {"contentChanges", json::array({{{"text", text}}})}}}}
                    .dump());
}

static int next_id = 10;

// The quick fixes of lines `from` to `to` (0-based), as "line:col-line:col text | title" each.
static std::vector<std::string> actions(server& s, int64_t from, int64_t to) {
  const json req = {{"jsonrpc", "2.0"},
                    {"id", ++next_id},
                    {"method", "textDocument/codeAction"},
                    {"params",
                     {{"textDocument", {{"uri", uri}}},
                      {"range",
                       {{"start", {{"line", from}, {"character", 0}}},
                        {"end", {{"line", to}, {"character", 0}}}}},
                      {"context", {{"diagnostics", json::array()}}}}}};
  feed(s, framed(req.dump()));
  const std::vector<json> got = sent(s);
  std::vector<std::string> r;
  EXPECT_EQ(got.size(), 1u);
  if (got.size() != 1) return r;
  for (const json& a : got[0]["result"]) {
    if (a["kind"] != "quickfix") continue;  // the levels of the lines, offered beside them
    std::string t;
    for (const json& e : a["edit"]["changes"][uri]) {
      const json& g = e["range"];
      t += g["start"]["line"].dump() + ":" + g["start"]["character"].dump() + "-" +
           g["end"]["line"].dump() + ":" + g["end"]["character"].dump() + " " +
           e["newText"].get<std::string>() + " ";
    }
    r.push_back(t + "| " + a["title"].get<std::string>() + " | " +
                a["diagnostics"][0]["code"].get<std::string>());
  }
  return r;
}

static const char* init = R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{}})";

// Line 3's and line 7's rewrites hold; line 5's `end` would not do, as nestasm would then stop
// at line 6.
static const char* statements = "if eax == 1\n& nop\nelsif eax == 2\n& nop\nendif\nend\nif(eax==1)\n";

TEST(LspLazy, PublishedWithoutTheRewriteThenOfferedWhenItHolds) {
  server s;
  feed(s, framed(init) + open_msg(statements));
  publish(s);
  const std::vector<json> got = sent(s);
  ASSERT_EQ(got.size(), 2u);
  const json& ds = got[1]["params"]["diagnostics"];
  ASSERT_EQ(ds.size(), 3u);
  EXPECT_EQ(ds[0]["message"], "`elsif` is no statement of nestasm\nthe line reaches NASM as it stands");
  EXPECT_EQ(ds[1]["message"],
            "`endif` is no statement of nestasm\nthe line reaches NASM as it stands\nso the if-block "
            "of line 1 is still open after it, with the lines that follow");
  doc& d = s.docs[uri];
  EXPECT_EQ(d.fix_checks, 0u);  // nothing checked for the publish
  EXPECT_EQ(d.res.unchecked, (std::vector<int64_t>{3, 5, 7}));

  const std::vector<std::string> all = {
      "2:0-2:5 elif | Change `elsif` to `elif` | not-a-statement",
      "6:0-6:10 if eax==1 | Change `if(eax==1)` to `if eax==1` | not-a-statement"};
  EXPECT_EQ(actions(s, 0, 6), all);
  EXPECT_EQ(d.fix_checks, 1u);
  EXPECT_EQ(d.fix_lines, (std::vector<int64_t>{3, 5, 7}));
  // Asked again, or for a part, nothing is checked again; line 5 has no action.
  EXPECT_EQ(actions(s, 0, 6), all);
  EXPECT_EQ(actions(s, 4, 4), std::vector<std::string>{});
  EXPECT_EQ(actions(s, 6, 6), std::vector<std::string>{all[1]});
  EXPECT_EQ(d.fix_checks, 1u);
}

TEST(LspLazy, OnlyTheLinesAskedForAreCheckedAndANewVersionChecksAgain) {
  server s;
  feed(s, framed(init) + open_msg(statements));
  publish(s);
  sent(s);
  doc& d = s.docs[uri];
  EXPECT_EQ(actions(s, 4, 4), std::vector<std::string>{});
  EXPECT_EQ(d.fix_lines, (std::vector<int64_t>{5}));
  EXPECT_EQ(d.fix_checks, 1u);
  // A line with no suggestion costs no check.
  EXPECT_EQ(actions(s, 0, 1), std::vector<std::string>{});
  EXPECT_EQ(d.fix_checks, 1u);
  EXPECT_EQ(actions(s, 2, 2),
            std::vector<std::string>{"2:0-2:5 elif | Change `elsif` to `elif` | not-a-statement"});
  EXPECT_EQ(d.fix_lines, (std::vector<int64_t>{3, 5}));
  EXPECT_EQ(d.fix_checks, 2u);

  // The same place in a new text: its verdict is its own.
  feed(s, change_msg("if eax == 1\n& nop\nelsif eax == 2\n& nop\nend\n", 2));
  publish(s);
  sent(s);
  EXPECT_TRUE(d.fix_lines.empty());
  EXPECT_EQ(actions(s, 2, 2),
            std::vector<std::string>{"2:0-2:5 elif | Change `elsif` to `elif` | not-a-statement"});
  EXPECT_EQ(d.fix_checks, 3u);
  feed(s, change_msg("if 10h == eax\nend\n", 3));
  EXPECT_EQ(actions(s, 0, 0),
            std::vector<std::string>{"0:3-0:13 eax == 10h | Change `10h == eax` to `eax == 10h` | number-on-left"});
  EXPECT_EQ(d.fix_checks, 4u);
}

// The statement error's suggestion is offered at the lines its edit touches as well as its own:
// the blank line whose removal mends the `end` two lines down offers it there.
TEST(LspLazy, TheErrorsSuggestionAtTheLineItsEditTouches) {
  server s;
  feed(s, framed(init) + open_msg("if eax == 1\n& if ebx == 2\n& & inc ecx\n\n& end\nend\n"));
  publish(s);
  sent(s);
  const std::vector<std::string> at_end = actions(s, 4, 4);
  ASSERT_EQ(at_end.size(), 1u);
  EXPECT_EQ(actions(s, 3, 3), at_end);
  EXPECT_EQ(at_end[0], "3:0-4:0  | Remove the blank line | status 11");
  // A line it does not touch gets nothing.
  EXPECT_EQ(actions(s, 2, 2), std::vector<std::string>{});
}
