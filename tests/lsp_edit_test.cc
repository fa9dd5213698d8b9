// The server's translation and marker edits in process: where each line's output starts, where
// the translation stops, and the formatter's line edits in the client's columns.
#include <gtest/gtest.h>

#include "lsp/lsp.h"

// `text` opened and checked, as the server holds it.
static doc checked(std::string text) {
  doc d;
  d.uri = "file:///a.s";
  set_text(d, std::move(text));
  analyse(d);
  return d;
}

TEST(LspTranslation, EachLinesFirstOutputLineAndWhereItStopped) {
  const struct {
    std::string text;
    std::string want;  // the answer, dumped
  } cases[] = {
      {"", R"({"starts":[0],"text":""})"},
      {"nop", R"({"starts":[0,1],"text":"nop\n"})"},
      {"; a\n\nnop\n", R"({"starts":[0,1,2,3],"text":"; a\n\nnop\n"})"},
      // The labels the end of the input writes go with the last line.
      {"while ecx != 0\n& nop",
       R"({"starts":[0,3,6],"text":".while_head_0:\ncmp ecx, 0\nje .while_end_1\nnop\n)"
       R"(jmp .while_head_0\n.while_end_1:\n"})"},
      // A line that closes the block by its depth: the block's end is made by that line.
      {"while ecx != 0\n& nop\nnop\n",
       R"({"starts":[0,3,4,7],"text":".while_head_0:\ncmp ecx, 0\nje .while_end_1\nnop\nnop\n)"
       R"(jmp .while_head_0\n.while_end_1:\n"})"},
      // Stopped, with nestasm's message for it.
      {"end\nnop\n", R"({"message":"end bad","starts":[0,0,0],"stopped":0,"text":""})"},
      {"nop\nif eax == 1\n& nop\n& end\nnop\n",
       R"({"message":"end bad","starts":[0,1,3,4,4,4],"stopped":3,)"
       R"("text":"nop\ncmp eax, 1\njne .if_else_0\nnop\n"})"},
      {"if eax ==\n", R"({"message":"bad if","starts":[0,0],"stopped":0,"text":""})"},
  };
  for (const auto& c : cases) EXPECT_EQ(translation(checked(c.text)).dump(), c.want) << c.text;
}

// Each edit as "line:from-line:to newText".
static std::string edits_of(const std::string& o) {
  std::string r;
  for (const json& e : json::parse(o)) {
    const json& a = e["range"]["start"];
    const json& b = e["range"]["end"];
    if (!r.empty()) r += "; ";
    r += a["line"].dump() + ":" + a["character"].dump() + "-" + b["line"].dump() + ":" +
         b["character"].dump() + " " + e["newText"].dump();
  }
  return r;
}

TEST(LspEdits, OnlyTheBytesThatChangeInTheClientsColumns) {
  const struct {
    std::string text;
    bool utf8;
    std::string want;
  } cases[] = {
      // After "é" a UTF-16 column is one less than a byte column.
      {"if eax == 1\n& mov al, '\xC3\xA9'  \nend\n", false, R"(1:13-1:15 "")"},
      {"if eax == 1\n& mov al, '\xC3\xA9'  \nend\n", true, R"(1:14-1:16 "")"},
      {"if eax == 1\n&\xC3\xA9:\nend\n", false, R"(1:1-1:1 " ")"},
      {"&&if eax == 1\n", false, R"(0:1-0:2 " & ")"},
      {"if eax == 1\r\n&nop\r\nend", false, R"(1:1-1:1 " ")"},
      {"if eax == 1\n& nop\nend\n", false, ""},
  };
  for (const auto& c : cases) {
    server s;
    s.utf8 = c.utf8;
    const doc d = checked(c.text);
    std::string o;
    put_formatting(o, s, d, 0, line_count(d) - 1);
    EXPECT_EQ(edits_of(o), c.want) << c.text;
  }
}

TEST(LspEdits, TheLinesARangeSelects) {
  const std::string eight = "nop\nnop\nnop\nnop\nnop\nnop\nnop\nnop\n";
  // A lone "\r" ends a line of the protocol but not of the translator: protocol line 2 is the
  // translator's line 1.
  const std::string lone_cr = "nop\rnop\nnop\nnop\nnop\n";
  const struct {
    const std::string& text;
    json range;
    bool ok;
    int64_t first, last;
  } cases[] = {
      {eight, R"({"start":{"line":2,"character":4},"end":{"line":5,"character":1}})"_json, true, 2, 5},
      {eight, R"({"start":{"line":2,"character":4},"end":{"line":5,"character":0}})"_json, true, 2, 4},
      {eight, R"({"start":{"line":2,"character":0},"end":{"line":2,"character":0}})"_json, true, 2, 2},
      // Turned round, the same lines as the range from 2:3 to 5:0.
      {eight, R"({"start":{"line":5,"character":0},"end":{"line":2,"character":3}})"_json, true, 2, 4},
      {eight, R"({"start":{"line":2}})"_json, false, 0, 0},
      {eight, nullptr, false, 0, 0},
      {lone_cr, R"({"start":{"line":2,"character":0},"end":{"line":4,"character":0}})"_json, true, 1, 2},
      {lone_cr, R"({"start":{"line":1,"character":1},"end":{"line":1,"character":2}})"_json, true, 0, 0},
  };
  for (const auto& c : cases) {
    const server s;
    const doc d = checked(c.text);
    int64_t first = 0, last = 0;
    EXPECT_EQ(selected_lines(s, d, c.range, first, last), c.ok) << c.range;
    if (c.ok) {
      EXPECT_EQ(first, c.first) << c.range;
      EXPECT_EQ(last, c.last) << c.range;
    }
  }
}
