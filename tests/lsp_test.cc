// The language server in process: framing, the answers to bad and early messages, the lifecycle,
// columns, one check per burst, and quick fixes as edits.
#include "lsp/lsp.h"

#include "common/common.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <fstream>
#include <sstream>
#include <thread>

static std::string framed(std::string_view body) {
  std::string s;
  put_frame(s, body);
  return s;
}

// The messages the server wrote, taken off its output.
static std::vector<json> sent(server& s) {
  std::vector<json> r;
  size_t at = 0;
  std::string_view body;
  std::string why;
  while (next_frame(s.out, at, body, why) == frame::message) r.push_back(json::parse(body));
  EXPECT_EQ(at, s.out.size()) << "output is not a sequence of whole messages";
  s.out.clear();
  return r;
}

static const char* init = R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{}})";

TEST(LspFrame, HeadersReadOrRefused) {
  const std::string big(70000, 'x');
  const struct {
    std::string in;
    frame f;
    std::string body;
    size_t pos;  // where the next message is looked for
  } cases[] = {
      {"Content-Length: 2\r\n\r\n{}", frame::message, "{}", 23},
      {"content-length:2\r\nContent-Type: application/vscode-jsonrpc; charset=utf-8\r\n\r\n{}x",
       frame::message, "{}", 79},
      {"\r\nContent-Length: 2\n\n{}", frame::message, "{}", 23},
      {"Content-Length: 3\r\n\r\n{}", frame::more, "", 0},
      {"Content-Length: 2\r\n", frame::more, "", 0},
      {"Content-Length: 2x\r\n\r\n{}Content-Length: 2\r\n\r\n{}", frame::broken, "", 24},
      // "/" is the byte before "0": read as a digit, "1/" would be 9.
      {"Content-Length: 1/\r\n\r\n{\"a\":123}", frame::broken, "", 17},
      {"Content-Type: a\r\n\r\n{}", frame::broken, "", 7},
      {"Content-Length: 99999999999\r\n\r\n", frame::broken, "", 17},
      {"{\"jsonrpc\":\"2.0\"}\r\n\r\n", frame::broken, "", 7},
      {big, frame::broken, "", big.size() - 14},
  };
  for (const auto& c : cases) {
    size_t pos = 0;
    std::string_view body;
    std::string why;
    EXPECT_EQ(next_frame(c.in, pos, body, why), c.f) << c.in.substr(0, 60);
    EXPECT_EQ(body, c.body) << c.in.substr(0, 60);
    if (c.f != frame::more) {
      EXPECT_EQ(pos, c.pos) << c.in.substr(0, 60);
    }
  }
}

TEST(LspDispatch, BadAndEarlyMessagesGetTheProtocolsAnswers) {
  const std::string hover =
      R"({"jsonrpc":"2.0","id":7,"method":"textDocument/hover","params":{"textDocument":{"uri":"file:///a.s"},"position":{"line":0,"character":0}}})";
  const struct {
    std::vector<std::string> bodies;  // after initialize unless the first is "-"
    std::string want;                 // "id:code" of each answer; code 0 is a result
    int exit = -1;
  } cases[] = {
      {{"{"}, "null:-32700"},
      {{"[]"}, "null:-32600"},
      {{R"({"jsonrpc":"2.0","id":{},"method":"shutdown"})"}, "null:-32600"},
      {{R"({"jsonrpc":"2.0","id":3})"}, "3:-32600"},
      {{R"({"jsonrpc":"2.0","id":3,"result":null})"}, ""},
      {{R"({"jsonrpc":"2.0","id":3,"method":"shutdown","params":"x"})"}, "3:-32602"},
      {{R"({"jsonrpc":"1.0","id":3,"method":"shutdown"})"}, "3:-32600"},
      {{R"({"jsonrpc":"2.0","id":"a","method":"no/such"})"}, "\"a\":-32601"},
      {{R"({"jsonrpc":"2.0","method":"no/such"})"}, ""},
      {{hover}, "7:-32602"},
      {{R"({"jsonrpc":"2.0","id":7,"method":"textDocument/hover","params":{}})"}, "7:-32602"},
      {{init}, "0:-32600"},
      {{"-", hover}, "7:-32002"},
      {{"-", R"({"jsonrpc":"2.0","method":"exit"})"}, "", 1},
      {{R"({"jsonrpc":"2.0","id":1,"method":"shutdown"})", hover}, "1:0 7:-32600"},
      {{R"({"jsonrpc":"2.0","id":1,"method":"shutdown"})", R"({"jsonrpc":"2.0","method":"exit"})",
        hover},
       "1:0",
       0},
  };
  for (const auto& c : cases) {
    server s;
    std::string in;
    size_t first = 0;
    if (c.bodies[0] == "-")
      first = 1;
    else
      in = framed(init);
    for (size_t i = first; i < c.bodies.size(); ++i) in += framed(c.bodies[i]);
    feed(s, in);
    std::vector<json> got = sent(s);
    if (!first) got.erase(got.begin());
    std::string have;
    for (const json& m : got) {
      if (!have.empty()) have += ' ';
      have += m["id"].dump() + ":";
      have += m.contains("error") ? m["error"]["code"].dump() : "0";
    }
    EXPECT_EQ(have, c.want) << c.bodies.back();
    EXPECT_EQ(s.exit_status, c.exit) << c.bodies.back();
  }
}

TEST(LspDispatch, ABrokenHeaderIsReportedAndTheNextMessageRead) {
  server s;
  feed(s, framed(init) + "Content-Length: zz\r\n\r\n{\"x\":1}" + "junk\r\n\r\n" +
              framed(R"({"jsonrpc":"2.0","id":2,"method":"shutdown"})"));
  const std::vector<json> got = sent(s);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[1]["error"]["code"], -32700);
  EXPECT_EQ(got[2]["id"], 2);
}

static std::string open_msg(std::string_view text, int version = 1) {
  return framed(json{{"jsonrpc", "2.0"},
                     {"method", "textDocument/didOpen"},
                     {"params",
                      {{"textDocument",
                        {{"uri", "file:///a.s"},
                         {"languageId", "nestasm"},
                         {"version", version},
                         {"text", text}}}}}}
                    .dump());
}

static std::string change_msg(json change, int version) {
  return framed(json{{"jsonrpc", "2.0"},
                     {"method", "textDocument/didChange"},
                     {"params",
                      {{"textDocument", {{"uri", "file:///a.s"}, {"version", version}}},
                       {"contentChanges", json::array({change})}}}}
                    .dump());
}

static const json tokens_legend = {
    {"legend",
     {{"tokenTypes", {"keyword", "macro", "type"}}, {"tokenModifiers", json::array()}}},
    {"full", true},
    {"range", true}};

// Each request the server answers is announced by initialize, with the value its client reads,
// and reaches its own handler: a known method on an open document gets a result, on one that is
// not open the answer about the document, never "no method".
TEST(LspDispatch, EveryFeatureIsAnnouncedAndAnswered) {
  const struct {
    std::string method, capability;
    json value;
    json params;  // besides textDocument
    std::string result;  // the answer on the document "if eax == 1\nend\n", dumped
  } cases[] = {
      {"textDocument/codeAction", "codeActionProvider",
       {{"codeActionKinds", {"quickfix", "refactor.rewrite"}}},
       {{"range", {{"start", {{"line", 0}, {"character", 0}}},
                   {"end", {{"line", 1}, {"character", 0}}}}}},
       R"([{"edit":{"changes":{"file:///a.s":[{"newText":"& ","range":{"end":{"character":0,)"
       R"("line":0},"start":{"character":0,"line":0}}}]}},"kind":"refactor.rewrite.deeper",)"
       R"("title":"One level deeper"}])"},
      {"textDocument/foldingRange", "foldingRangeProvider", true, json::object(), "[]"},
      {"textDocument/documentHighlight", "documentHighlightProvider", true,
       {{"position", {{"line", 1}, {"character", 0}}}},
       R"([{"kind":1,"range":{"end":{"character":2,"line":0},"start":{"character":0,"line":0}}},)"
       R"({"kind":1,"range":{"end":{"character":3,"line":1},"start":{"character":0,"line":1}}}])"},
      {"textDocument/definition", "definitionProvider", true,
       {{"position", {{"line", 1}, {"character", 0}}}},
       R"({"range":{"end":{"character":2,"line":0},"start":{"character":0,"line":0}},)"
       R"("uri":"file:///a.s"})"},
      {"textDocument/documentSymbol", "documentSymbolProvider", true, json::object(),
       R"([{"kind":17,"location":{"range":{"end":{"character":3,"line":1},)"
       R"("start":{"character":0,"line":0}},"uri":"file:///a.s"},"name":"if eax == 1"}])"},
      {"textDocument/hover", "hoverProvider", true, {{"position", {{"line", 0}, {"character", 0}}}},
       R"({"contents":{"kind":"plaintext","value":"cmp eax, 1\njne .if_else_0"}})"},
      {"textDocument/inlayHint", "inlayHintProvider", true,
       {{"range", {{"start", {{"line", 0}, {"character", 0}}},
                   {"end", {{"line", 2}, {"character", 0}}}}}},
       R"x([{"label":"closes if eax == 1 (line 1)","paddingLeft":true,)x"
       R"x("position":{"character":3,"line":1}}])x"},
      {"textDocument/semanticTokens/full", "semanticTokensProvider", tokens_legend,
       json::object(), R"({"data":[0,0,2,0,0,0,7,2,0,0,1,0,3,0,0]})"},
      {"textDocument/semanticTokens/range", "semanticTokensProvider", tokens_legend,
       {{"range", {{"start", {{"line", 1}, {"character", 0}}},
                   {"end", {{"line", 1}, {"character", 3}}}}}},
       R"({"data":[1,0,3,0,0]})"},
      {"nestasm/translation", "experimental", {{"nestasmTranslation", true}}, json::object(),
       R"({"starts":[0,2,4],"text":"cmp eax, 1\njne .if_else_0\n.if_else_0:\n.if_end_1:\n"})"},
      {"textDocument/onTypeFormatting", "documentOnTypeFormattingProvider",
       {{"firstTriggerCharacter", "\n"}},
       {{"position", {{"line", 1}, {"character", 0}}}, {"ch", "\n"}},
       R"([{"newText":"& ","range":{"end":{"character":0,"line":1},)"
       R"("start":{"character":0,"line":1}}}])"},
      {"textDocument/formatting", "documentFormattingProvider", true, json::object(), "[]"},
      {"textDocument/rangeFormatting", "documentRangeFormattingProvider", true,
       {{"range", {{"start", {{"line", 0}, {"character", 0}}},
                   {"end", {{"line", 1}, {"character", 0}}}}}},
       "[]"},
  };
  std::set<std::string> announced;
  for (const auto& c : cases) announced.insert(c.capability);
  server s;
  feed(s, framed(init) + open_msg("if eax == 1\nend\n"));
  const json caps = sent(s)[0]["result"]["capabilities"];
  EXPECT_EQ(caps.size(), announced.size() + 2) << caps.dump();  // and the encoding and the sync
  int id = 1;
  for (const auto& c : cases) {
    EXPECT_EQ(caps[c.capability], c.value) << c.capability;
    for (const char* uri : {"file:///a.s", "file:///b.s"}) {
      json p = c.params;
      p["textDocument"] = {{"uri", uri}};
      feed(s, framed(json{{"jsonrpc", "2.0"}, {"id", ++id}, {"method", c.method}, {"params", p}}
                         .dump()));
      const std::vector<json> got = sent(s);
      ASSERT_EQ(got.size(), 1u) << c.method;
      if (uri[8] == 'a') {
        EXPECT_EQ(got[0]["result"].dump(), c.result) << c.method;
      } else {
        EXPECT_EQ(got[0]["error"]["code"], -32602) << c.method;
      }
    }
  }
}

// A document's lines are the translator's: cut at "\n", with one "\r" before it, or at the very
// end, not part of the line; a lone "\r" inside a line stays in it.
TEST(LspDocs, LinesCutAsTheTranslatorCutsThem) {
  const struct {
    std::string text;
    std::vector<size_t> starts;
    std::vector<std::string> lines;
  } cases[] = {
      {"a\r\nb", {0, 3, 4}, {"a", "b"}},
      {"a\rb\n", {0, 4}, {"a\rb"}},
      {"x\r", {0, 2}, {"x"}},
      {"a\r\r\n", {0, 4}, {"a\r"}},
      {"\n\n", {0, 1, 2}, {"", ""}},
      {"", {0}, {}},
  };
  for (const auto& c : cases) {
    doc d;
    set_text(d, c.text);
    EXPECT_EQ(d.starts, c.starts) << c.text;
    std::vector<std::string> lines;
    for (int64_t i = 0; i < line_count(d); ++i) lines.emplace_back(line_at(d, i));
    EXPECT_EQ(lines, c.lines) << c.text;
    EXPECT_EQ(line_at(d, line_count(d)), "") << c.text;
  }
}

TEST(LspDocs, ABurstOfChangesIsCheckedOnceAndPublishedAtItsLastVersion) {
  server s;
  std::string in = framed(init) + open_msg("if eax == 1\n& inc eax\n");
  for (int v = 2; v <= 6; ++v) in += change_msg({{"text", "end\nnop\n"}}, v);
  // A part of the text, which some clients send although the whole is asked for.
  in += change_msg(
      {{"range",
        {{"start", {{"line", 1}, {"character", 0}}}, {"end", {{"line", 1}, {"character", 3}}}}},
       {"text", "end"}},
      7);
  feed(s, in);
  publish(s);
  const std::vector<json> got = sent(s);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(s.docs["file:///a.s"].checks, 1u);
  EXPECT_EQ(s.docs["file:///a.s"].text, "end\nend\n");
  EXPECT_EQ(got[1]["params"]["version"], 7);
  EXPECT_EQ(got[1]["params"]["diagnostics"][0]["code"], "status 11");
  const json close = {{"jsonrpc", "2.0"},
                      {"method", "textDocument/didClose"},
                      {"params", {{"textDocument", {{"uri", "file:///a.s"}}}}}};
  feed(s, framed(close.dump()));
  const std::vector<json> closed = sent(s);
  ASSERT_EQ(closed.size(), 1u);
  EXPECT_EQ(closed[0]["params"]["diagnostics"], json::array());
}

// Whatever `fd` gives until `done` says it is enough, it ends, or nothing comes for `wait_ms`
// (a server that hangs fails the test instead of stopping the suite).
template <class F>
static std::string read_until(int fd, std::string got, F done, int wait_ms) {
  char buf[1 << 16];
  while (!done(got)) {
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, wait_ms) <= 0) break;
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<size_t>(n));
  }
  return got;
}

// The whole loop over a pipe: a change too long for one read (the server reads 64 KiB at a
// time), already waiting behind the didOpen, is one burst with it: one check, one publish, of
// the last version.
TEST(LspServe, AChangeWaitingBehindTheOpenIsPublishedOnceAtItsVersion) {
  int in[2], out[2];
  ASSERT_EQ(pipe(in), 0);
  ASSERT_EQ(pipe(out), 0);
  std::string text = "end\n";
  while (text.size() < 70000) text += "nop\n";
  const std::string burst =
      framed(init) + open_msg("if eax == 1\n& nop\n", 1) + change_msg({{"text", text}}, 2);
  // All of it in the pipe before the server reads a byte.
  ASSERT_GE(fcntl(in[1], F_SETPIPE_SZ, 1 << 18), static_cast<int>(burst.size()));
  ASSERT_TRUE(write_all(in[1], burst));
  int status = -1;
  std::thread t([&] { status = serve(in[0], out[1]); });
  const auto published = [](const std::string& o) {
    return o.find("textDocument/publishDiagnostics") != std::string::npos;
  };
  std::string o = read_until(out[0], "", published, 20000);
  // A second publish, had there been one, comes before the answer to shutdown.
  EXPECT_TRUE(write_all(in[1], framed(R"({"jsonrpc":"2.0","id":1,"method":"shutdown"})") +
                                     framed(R"({"jsonrpc":"2.0","method":"exit"})")));
  close(in[1]);
  t.join();
  close(out[1]);
  o = read_until(out[0], o, [](const std::string&) { return false; }, 20000);
  close(out[0]);
  close(in[0]);
  EXPECT_EQ(status, 0);
  std::vector<json> got;
  size_t at = 0;
  std::string_view body;
  std::string why;
  while (next_frame(o, at, body, why) == frame::message) got.push_back(json::parse(body));
  EXPECT_EQ(at, o.size()) << "output is not a sequence of whole messages";
  std::string seq;
  for (const json& m : got) {
    if (!seq.empty()) seq += ' ';
    seq += m.contains("id") ? "answer " + m["id"].dump()
                            : m["method"].get<std::string>() + " " + m["params"]["version"].dump();
  }
  EXPECT_EQ(seq, "answer 0 textDocument/publishDiagnostics 2 answer 1");
  ASSERT_EQ(got.size(), 3u);
  const json& ds = got[1]["params"]["diagnostics"];
  ASSERT_FALSE(ds.empty());
  EXPECT_EQ(ds[0]["code"], "status 11");
  EXPECT_EQ(ds[0]["range"]["start"]["line"], 0);
}

TEST(LspDocs, ColumnsInUtf16UnitsOrBytes) {
  const std::string line =
      "a\xC3\xA9\xF0\x9F\x98\x80\xE2\x89\xA0"
      "b";  // a, é, an emoji, ≠, b: one, two, four and three bytes
  const struct {
    size_t byte;
    int64_t u16, u8;
  } cases[] = {{0, 0, 0}, {1, 1, 1}, {3, 2, 3}, {7, 4, 7}, {10, 5, 10}, {11, 6, 11}, {99, 6, 11}};
  for (const auto& c : cases) {
    EXPECT_EQ(col_of(line, c.byte, false), c.u16) << c.byte;
    EXPECT_EQ(col_of(line, c.byte, true), c.u8) << c.byte;
    EXPECT_EQ(byte_of(line, c.u16, false), std::min(c.byte, line.size())) << c.byte;
  }
  EXPECT_EQ(byte_of(line, 3, false), 3u);  // inside the emoji's pair: before it
}

// A fix as the checker gives it, turned into the editor's edits.
TEST(LspFix, EditsBecomeTextEditsInTheClientsColumns) {
  const struct {
    std::string text;
    edit e;
    std::string range, new_text, title;
  } cases[] = {
      {"if eax == 1\n& inc eax\nendif\n",
       {3, 1, 6, "end"},
       "2:0-2:5",
       "end",
       "Change `endif` to `end`"},
      {"\xC3\xA9:\nif eax == 1\n& nop",
       {4, 1, 1, "end\n"},
       "2:5-2:5",
       "\nend\n",
       "Insert the line `end`"},
      {"\xC3\xA9:\nif eax == 1\n& nop\n",
       {4, 1, 1, "end\n"},
       "3:0-3:0",
       "end\n",
       "Insert the line `end`"},
      {"x: if eax ult 5\n", {1, 11, 14, "ULT"}, "0:10-0:13", "ULT", "Change `ult` to `ULT`"},
      {"\xC3\xA9: if eax ult 5\n", {1, 12, 15, "ULT"}, "0:10-0:13", "ULT", "Change `ult` to `ULT`"},
      {"if eax == 1\n& if ebx == 1\n\n& & nop\n", {3, 1, 1, "", 4}, "2:0-3:0", "",
       "Remove the blank line"},
  };
  for (const auto& c : cases) {
    server s;
    feed(s, framed(init) + open_msg(c.text));
    doc& d = s.docs["file:///a.s"];
    analyse(d);
    diag w;  // a missing-end warning, with the fix under test
    w.lvl = level::warning;
    w.line = c.e.line;
    w.col = c.e.col;
    w.end_col = c.e.end_col;
    w.name = static_cast<int>(wname::missing_end);
    w.text = "w";
    w.fix = {c.e};
    d.diags.insert(d.diags.begin(), w);
    const json a = code_actions(s, d, json::object());
    ASSERT_FALSE(a.empty()) << c.text;
    const json& te = a[0]["edit"]["changes"]["file:///a.s"][0];
    const json& r = te["range"];
    EXPECT_EQ(r["start"]["line"].dump() + ":" + r["start"]["character"].dump() + "-" +
                  r["end"]["line"].dump() + ":" + r["end"]["character"].dump(),
              c.range)
        << c.text;
    EXPECT_EQ(te["newText"], c.new_text) << c.text;
    EXPECT_EQ(a[0]["title"], c.title) << c.text;
    EXPECT_EQ(a[0]["diagnostics"][0]["code"], "missing-end") << c.text;
  }
}

// The lines of each range in an answer, "0 2"; "null" for none.
static std::string lines_of(const json& a) {
  if (a.is_null()) return "null";
  std::string r;
  for (const json& x : a.is_array() ? a : json::array({a})) {
    const json& range = x.contains("range") ? x["range"] : x;
    if (!r.empty()) r += ' ';
    r += range["start"]["line"].dump();
  }
  return r;
}

// A block's own lines are its if, elif, else and end; a line that closed it by its depth is a
// line of the text after it, and has neither highlights nor a definition.
TEST(LspBlocks, HighlightsAndDefinitionsOnlyOnTheBlocksOwnLines) {
  const struct {
    std::string text;
    int64_t line;
    std::string highlights, definition;
  } cases[] = {
      {"& if ebx == 2\n& & nop\nnop\n", 2, "null", "null"},
      {"& if ebx == 2\n& & nop\n& end\n", 2, "0 2", "0"},
      {"& if ebx == 2\n& & nop\nnop\n", 0, "0", "null"},
  };
  for (const auto& c : cases) {
    server s;
    feed(s, framed(init) + open_msg(c.text));
    doc& d = s.docs["file:///a.s"];
    analyse(d);
    EXPECT_EQ(lines_of(highlights(s, d, {c.line, 0})), c.highlights) << c.text << c.line;
    EXPECT_EQ(lines_of(definition(s, d, {c.line, 0})), c.definition) << c.text << c.line;
  }
}

// The outline's labels are the plain labels the check found at a line's start: one alone names
// the code that follows (kind 12), one with an instruction or data after it that (kind 13); each
// reaches to the next, and a .local label is none of them. An if-chain is a Boolean (17), a loop
// an Event (24).
TEST(LspOutline, LabelsAsTheCheckFoundThem) {
  const struct {
    std::string text, want;  // "name kind from-to" of each symbol, in the order of lines
  } cases[] = {
      {"main:\n  mov eax, 1\ndata: dd 1\n.l:\n  ret\n", "main 12 0-1, data 13 2-4"},
      {"x:   \n& y:nop\nif eax == 1\nend\n", "x 12 0-0, y 13 1-3, if eax == 1 17 2-3"},
      {"a b:\n; c:\n  \"q\":\nif: nop\n", "if 13 3-3"},
      {"while ecx != 0\n& dec ecx\nend\n", "while ecx != 0 24 0-2"},
  };
  for (const auto& c : cases) {
    server s;
    feed(s, framed(init) + open_msg(c.text));
    doc& d = s.docs["file:///a.s"];
    analyse(d);
    std::string got;
    for (const json& x : symbols(s, d)) {
      if (!got.empty()) got += ", ";
      const json& r = x["location"]["range"];
      got += x["name"].get<std::string>() + " " + x["kind"].dump() + " " +
             r["start"]["line"].dump() + "-" + r["end"]["line"].dump();
    }
    EXPECT_EQ(got, c.want) << c.text;
  }
}

// Folds, the outline and hover agree on where a block ends: at the line before the one that
// closed it, its own end added for the outline, or before the line the translation stopped at.
TEST(LspBlocks, FoldsOutlineAndHoverShareABlocksReach) {
  const struct {
    std::string text;
    std::string folds;    // "from-to" of each fold
    std::string outline;  // the block's lines and detail
    std::vector<std::string> hovers;  // on each line
  } cases[] = {
      {"while ecx != 0\n& nop\n& if eax ==\nnop\n", "0-1",
       "0-1 lines 1–2, open where the translation stops",
       {"```nasm\n.while_head_0:\ncmp ecx, 0\nje .while_end_1\n```",
        "inside the while-block of line 1; depth 1", "",
        "not translated: the translation stops at line 3"}},
      {"& if eax == 1\n&& nop\n\n& nop\n", "0-1", "0-1 lines 1–2, closed by the blank line 3",
       {"```nasm\ncmp eax, 1\njne .if_else_0\n```", "inside the if-block of line 1; depth 2", "",
        ""}},
      {"while ecx != 0\n& dec ecx\nend\n", "0-1", "0-2 lines 1–3",
       {"```nasm\n.while_head_0:\ncmp ecx, 0\nje .while_end_1\n```",
        "inside the while-block of line 1; depth 1",
        "```nasm\njmp .while_head_0\n.while_end_1:\n```"}},
      // The chain folds whole before its branches fold.
      {"if eax == 1\n& nop\nelif eax == 2\n& nop\nelse\n& nop\nend\n", "0-5 0-1 2-3 4-5",
       "0-6 lines 1–7", {}},
  };
  for (const auto& c : cases) {
    server s;
    feed(s, framed(init) + open_msg(c.text));
    s.tree = s.markdown = true;
    doc& d = s.docs["file:///a.s"];
    analyse(d);
    std::string folds;
    for (const json& f : folding(s, d)) {
      if (!folds.empty()) folds += ' ';
      folds += f["startLine"].dump() + "-" + f["endLine"].dump();
    }
    EXPECT_EQ(folds, c.folds) << c.text;
    const json o = symbols(s, d);
    ASSERT_EQ(o.size(), 1u) << c.text;
    EXPECT_EQ(o[0]["range"]["start"]["line"].dump() + "-" + o[0]["range"]["end"]["line"].dump() +
                  " " + o[0]["detail"].get<std::string>(),
              c.outline)
        << c.text;
    for (size_t i = 0; i < c.hovers.size(); ++i) {
      const json h = hover(s, d, {static_cast<int64_t>(i), 0});
      EXPECT_EQ(h.is_null() ? "" : h["contents"]["value"].get<std::string>(), c.hovers[i])
          << c.text << " line " << i;
    }
  }
}

// A code action's range picks the diagnostics on the lines it spans, its first and last line
// included.
TEST(LspFix, TheRangeAsksForTheFixesOfTheLinesItSpans) {
  const struct {
    int64_t from, to;
    size_t to_ch;
    std::string titles;
  } cases[] = {
      {2, 2, 5, "Change `endif` to `end`"},
      {0, 2, 0, "Change `endif` to `end`"},
      {2, 3, 0, "Change `endif` to `end`"},
      {0, 1, 9, ""},
      {3, 3, 0, ""},
  };
  for (const auto& c : cases) {
    server s;
    feed(s, framed(init) + open_msg("if eax == 1\n& inc eax\nendif\n"));
    doc& d = s.docs["file:///a.s"];
    analyse(d);
    const json params = {
        {"textDocument", {{"uri", "file:///a.s"}}},
        {"range",
         {{"start", {{"line", c.from}, {"character", 0}}},
          {"end", {{"line", c.to}, {"character", c.to_ch}}}}},
        {"context", {{"diagnostics", json::array()}}}};
    const json a = code_actions(s, d, params);
    std::string titles;
    for (const json& x : a) titles += (titles.empty() ? "" : "; ") + x["title"].get<std::string>();
    EXPECT_EQ(titles, c.titles) << c.from << "-" << c.to;
    if (!a.empty()) {
      const json& te = a[0]["edit"]["changes"]["file:///a.s"][0];
      EXPECT_EQ(te["range"], json({{"start", {{"line", 2}, {"character", 0}}},
                                   {"end", {{"line", 2}, {"character", 5}}}}));
      EXPECT_EQ(te["newText"], "end");
    }
  }
}

// Every input the fuzzer keeps: nothing but whole messages comes out, and nothing crashes.
TEST(LspReplay, FuzzInputs) {
  size_t n = 0;
  for (const char* dir : {NESTASM_LSP_SEEDS, NESTASM_LSP_REGRESS}) {
    if (!std::filesystem::is_directory(dir)) continue;
    for (const auto& f : std::filesystem::directory_iterator(dir)) {
      std::ifstream in(f.path(), std::ios::binary);
      std::stringstream b;
      b << in.rdbuf();
      server s;
      feed(s, b.str());
      publish(s);
      sent(s);
      ++n;
    }
  }
  EXPECT_GT(n, 0u);
}

TEST(LspDocs, ByteColumnsWhenTheClientOffersUtf8) {
  for (const bool utf8 : {false, true}) {
    server s;
    json caps = {
        {"general", {{"positionEncodings", utf8 ? json{"utf-16", "utf-8"} : json{"utf-16"}}}}};
    feed(s, framed(json{{"jsonrpc", "2.0"},
                        {"id", 0},
                        {"method", "initialize"},
                        {"params", {{"capabilities", caps}}}}
                       .dump()) +
                open_msg("if eax > 5 ; \xC3\xA9 == 0\n& nop\nend\n"));
    publish(s);
    const std::vector<json> got = sent(s);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0]["result"]["capabilities"]["positionEncoding"], utf8 ? "utf-8" : "utf-16");
    EXPECT_EQ(got[1]["params"]["diagnostics"][0]["range"]["start"]["character"], utf8 ? 16 : 15);
  }
}

// 50,000 loops, each inside the one before.
TEST(LspDocs, AHundredThousandLines) {
  std::string text;
  for (int i = 0; i < 50000; ++i) text += "while ecx != 0\n& dec ecx\n";
  server s;
  feed(s, framed(init) + open_msg(text + "& end\n"));
  publish(s);
  const std::vector<json> got = sent(s);
  ASSERT_EQ(got.size(), 2u);
  // Every loop but the first opens in the one before (missing-end); the error is the last.
  const json& ds = got[1]["params"]["diagnostics"];
  ASSERT_FALSE(ds.empty());
  EXPECT_EQ(ds.back()["severity"], 1);
  EXPECT_EQ(ds.back()["range"]["start"]["line"], 100000);
  EXPECT_EQ(hover(s, s.docs["file:///a.s"], {99999, 0})["contents"]["value"],
            "inside the while-block of line 1, 49995 more blocks, the while-block of line 99993, "
            "the while-block of line 99995, the while-block of line 99997 and the while-block of "
            "line 99999; depth 1");
}

// The result of request `method` on file:///a.s, sent as a client sends it.
static json ask(server& s, const std::string& method, json params = json::object()) {
  params["textDocument"] = {{"uri", "file:///a.s"}};
  feed(s, framed(json{{"jsonrpc", "2.0"}, {"id", 99}, {"method", method}, {"params", params}}
                     .dump()));
  const std::vector<json> got = sent(s);
  return got.empty() ? json("no answer") : got.back()["result"];
}

// "line:ch-line:ch" of a protocol range.
static std::string span_of(const json& r) {
  return r["start"]["line"].dump() + ":" + r["start"]["character"].dump() + "-" +
         r["end"]["line"].dump() + ":" + r["end"]["character"].dump();
}

// The diagnostics of file:///a.s once it is open with `text`.
static json opened(server& s, std::string_view text) {
  feed(s, framed(init) + open_msg(text));
  publish(s);
  const std::vector<json> got = sent(s);
  return got.size() == 2 ? got[1]["params"]["diagnostics"] : json("not published");
}

// A code action names the diagnostics it is asked about: each gets its own quick fix, not the
// other one's on the same line; asked about none, the range's fixes all come.
TEST(LspFix, OnlyTheFixesOfTheDiagnosticsAskedFor) {
  const struct {
    std::vector<std::string> asked;  // codes of the line's diagnostics in the context
    std::string titles;
  } cases[] = {
      {{"tab-before-marker"}, "Change `\t` to ` `"},
      {{"missing-end"}, "Insert the line `end`; Remove `end`"},
      {{"missing-end", "tab-before-marker"},
       "Change `\t` to ` `, Insert the line `end`; Remove `end`"},
      {{}, "Change `\t` to ` `, Insert the line `end`; Remove `end`"},
  };
  for (const auto& c : cases) {
    server s;
    const json ds = opened(s, "if eax == 1\n& nop\n\t& nop\nend\n");
    ASSERT_EQ(ds.size(), 2u) << ds.dump();
    json asked = json::array();
    for (const std::string& code : c.asked)
      for (const json& g : ds)
        if (g["code"] == code) asked.push_back(g);
    // The quick fixes only: the level actions on the range's lines come whatever is asked.
    const json a = ask(s, "textDocument/codeAction",
                       {{"range", ds[0]["range"]},
                        {"context", {{"diagnostics", asked}, {"only", {"quickfix"}}}}});
    std::string titles;
    for (const json& x : a) {
      if (!titles.empty()) titles += ", ";
      titles += x["title"].get<std::string>();
    }
    EXPECT_EQ(titles, c.titles) << asked.dump();
  }
}

// A lone "\r" ends a line for the protocol and not for the translator: what the server sends is
// on the protocol's lines, and what it receives is read on them.
TEST(LspDocs, ALoneCrEndsALineOfTheProtocol) {
  const struct {
    std::string text;
    std::string diag;  // the range and code of the first diagnostic
    std::string fix;   // the range and text of its quick fix
  } cases[] = {
      {"if eax == 1\n& inc eax\nendif\n", "2:0-2:5 not-a-statement", "2:0-2:5 end"},
      {"; x\ry\nif eax == 1\n& inc eax\nendif\n", "4:0-4:5 not-a-statement", "4:0-4:5 end"},
      {"; a\r\r\nif eax == 1\n& inc eax\nendif\r\n", "4:0-4:5 not-a-statement", "4:0-4:5 end"},
      {"if eax == 1\n& inc\reax\nendif\n", "3:0-3:5 not-a-statement", "3:0-3:5 end"},
      {"; \xC3\xA9\r\xC3\xA9 \xC3\xA9\nif eax ult 5\n& nop\nend\n", "2:7-2:10 status 3",
       "2:7-2:10 ULT"},
  };
  for (const auto& c : cases) {
    server s;
    const json ds = opened(s, c.text);
    ASSERT_FALSE(ds.empty()) << c.text;
    EXPECT_EQ(span_of(ds[0]["range"]) + " " + ds[0]["code"].get<std::string>(), c.diag) << c.text;
    const json a = ask(s, "textDocument/codeAction",
                       {{"range", ds[0]["range"]},
                        {"context", {{"diagnostics", {ds[0]}}, {"only", {"quickfix"}}}}});
    ASSERT_EQ(a.size(), 1u) << c.text << a.dump();
    const json& te = a[0]["edit"]["changes"]["file:///a.s"][0];
    EXPECT_EQ(span_of(te["range"]) + " " + te["newText"].get<std::string>(), c.fix) << c.text;
  }
}

// Folds, the outline, highlights, definitions and hover on a text whose first line holds a lone
// "\r": the block of the translator's lines 1-3 is on the protocol's lines 2-4, and a change
// made at a protocol position lands there.
TEST(LspDocs, BlocksOnTheProtocolsLines) {
  server s;
  const json ds = opened(s, "; x\ry\nif eax == 1\n& nop\nend\n");
  EXPECT_EQ(ds, json::array());
  std::string folds;
  for (const json& f : ask(s, "textDocument/foldingRange"))
    folds += f["startLine"].dump() + "-" + f["endLine"].dump();
  EXPECT_EQ(folds, "2-3");
  const json o = ask(s, "textDocument/documentSymbol");
  ASSERT_EQ(o.size(), 1u);
  EXPECT_EQ(span_of(o[0]["location"]["range"]), "2:0-4:3");
  const json at_end = {{"position", {{"line", 4}, {"character", 1}}}};
  EXPECT_EQ(span_of(ask(s, "textDocument/definition", at_end)["range"]), "2:0-2:2");
  EXPECT_EQ(lines_of(ask(s, "textDocument/documentHighlight", at_end)), "2 4");
  EXPECT_EQ(ask(s, "textDocument/hover", {{"position", {{"line", 3}, {"character", 0}}}})
                ["contents"]["value"],
            "inside the if-block of line 2; depth 1");
  EXPECT_EQ(ask(s, "textDocument/hover", {{"position", {{"line", 1}, {"character", 0}}}}),
            nullptr);
  feed(s, change_msg({{"range", {{"start", {{"line", 1}, {"character", 0}}},
                                 {"end", {{"line", 1}, {"character", 1}}}}},
                      {"text", "z"}},
                     2));
  EXPECT_EQ(s.docs["file:///a.s"].text, "; x\rz\nif eax == 1\n& nop\nend\n");
}

// A hint at the end of each line that closes blocks, by its end or by its depth, naming what it
// closes, innermost first, with the lines the editor shows; only for the lines asked for.
TEST(LspHints, WhatALineCloses) {
  const struct {
    std::string text;
    int64_t from, to;  // the range's lines
    std::string want;  // "line:ch label" of each hint
  } cases[] = {
      {"& while ecx != 0\n& & if eax == 1\n& & & nop\nnop\n", 0, 9,
       "3:3 closes if eax == 1 (line 2), while ecx != 0 (line 1)"},
      {"if eax == 1\n& while ecx != 0\n& & dec ecx\n& end\nend\n", 0, 9,
       "3:5 closes while ecx != 0 (line 2); 4:3 closes if eax == 1 (line 1)"},
      {"if eax == 1\n& while ecx != 0\n& & dec ecx\n& end\nend\n", 4, 4,
       "4:3 closes if eax == 1 (line 1)"},
      {"if eax == 1\n& while ecx != 0\n& & dec ecx\n& end\nend\n", 0, 2, ""},
      {"& if eax == 1\n&& nop\n\n& nop\n", 0, 9, "2:0 closes if eax == 1 (line 1)"},
      {"& if eax == 1\n&& nop\n; c\n& nop\n", 0, 9, "2:3 closes if eax == 1 (line 1)"},
      {"if eax == 1\n& nop\nelif eax == 2\n& nop\nelse\n& nop\nend\n", 0, 9,
       "6:3 closes if eax == 1 (line 1)"},
      {"if eax == 1\n& nop\n", 0, 9, ""},
      {"while ecx != 0\n& nop\n& if eax ==\nnop\n", 0, 9, ""},
      {"; x\ry\nif eax == 1\n& nop\nend\n", 0, 9, "4:3 closes if eax == 1 (line 3)"},
  };
  for (const auto& c : cases) {
    server s;
    opened(s, c.text);
    const json h = ask(s, "textDocument/inlayHint",
                       {{"range", {{"start", {{"line", c.from}, {"character", 0}}},
                                   {"end", {{"line", c.to}, {"character", 0}}}}}});
    std::string got;
    for (const json& x : h) {
      if (!got.empty()) got += "; ";
      got += x["position"]["line"].dump() + ":" + x["position"]["character"].dump() + " " +
             x["label"].get<std::string>();
    }
    EXPECT_EQ(got, c.want) << c.text;
  }
}

// Semantic tokens, each "line:column:length:type" (0 keyword, 1 operator, 2 and 3 the markers
// in turn), from the protocol's relative numbers.
TEST(LspTokens, MarkersWordsAndTheSplittingOperator) {
  const struct {
    std::string text;
    int64_t from, to;  // the range's lines; -1: the whole text
    std::string want;
  } cases[] = {
      {"while ecx != 0\n& if eax ULT 1\n& & nop\n& end\nend\n", -1, -1,
       "0:0:5:0 0:10:2:0 1:0:1:1 1:2:2:0 1:9:3:0 2:0:1:1 2:2:1:2 3:0:1:1 3:2:3:0 4:0:3:0"},
      {"while ecx != 0\n& if eax ULT 1\n& & nop\n& end\nend\n", 1, 1,
       "1:0:1:1 1:2:2:0 1:9:3:0"},
      {"&&& nop\n&&&\t& ELSE\n", -1, -1, "0:0:1:1 0:1:1:2 0:2:1:1 1:0:1:1 1:1:1:2 1:2:1:1"},
      {"if '\xF0\x9F\x98\x80' == al\n& nop\nend\n", -1, -1, "0:0:2:0 0:8:2:0 1:0:1:1 2:0:3:0"},
      {"if eax == -1 ; x <= y\n& nop\nend\n", -1, -1, "0:0:2:0 0:7:2:0 1:0:1:1 2:0:3:0"},
      {"If eax\n", -1, -1, "0:0:2:0"},
      {"; x\ry\nif eax == 1\n& nop\nend\n", -1, -1, "2:0:2:0 2:7:2:0 3:0:1:1 4:0:3:0"},
      {"; x\ry\nif eax == 1\n& nop\nend\n", 3, 3, "3:0:1:1"},
      {"if eax\r== 1\n& nop\nend\n", -1, -1, "0:0:2:0 1:0:2:0 2:0:1:1 3:0:3:0"},
  };
  for (const auto& c : cases) {
    server s;
    opened(s, c.text);
    const json r =
        c.from < 0 ? ask(s, "textDocument/semanticTokens/full")
                   : ask(s, "textDocument/semanticTokens/range",
                         {{"range", {{"start", {{"line", c.from}, {"character", 0}}},
                                     {"end", {{"line", c.to}, {"character", 99}}}}}});
    const json& data = r["data"];
    ASSERT_EQ(data.size() % 5, 0u) << c.text;
    std::string got;
    int64_t line = 0, ch = 0;
    for (size_t i = 0; i < data.size(); i += 5) {
      ch = data[i] == 0 ? ch + data[i + 1].get<int64_t>() : data[i + 1].get<int64_t>();
      line += data[i].get<int64_t>();
      if (!got.empty()) got += ' ';
      got += std::to_string(line) + ":" + std::to_string(ch) + ":" + data[i + 2].dump() + ":" +
             data[i + 3].dump();
    }
    EXPECT_EQ(got, c.want) << c.text;
  }
}
