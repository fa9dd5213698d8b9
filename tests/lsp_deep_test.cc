// The language server on documents nested 100,000 deep: every request answered, none by a
// recursion as deep as the nesting, the outline cut to the depth editors can parse, and a
// message larger than the server takes refused without being held.
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
  EXPECT_EQ(at, s.out.size()) << "output is not a sequence of whole messages";
  s.out.clear();
  return r;
}

static const char* uri = "file:///deep.s";

static std::string request(int id, const char* method, json params) {
  params["textDocument"] = {{"uri", uri}};
  return framed(
      json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}.dump());
}

// A server that has opened `text`, its diagnostics published; `tree`: symbols as a tree.
static void open_deep(server& s, const std::string& text, bool tree) {
  const json caps = {
      {"textDocument", {{"documentSymbol", {{"hierarchicalDocumentSymbolSupport", tree}}}}}};
  std::string in = framed(json{{"jsonrpc", "2.0"},
                               {"id", 0},
                               {"method", "initialize"},
                               {"params", {{"capabilities", caps}}}}
                              .dump());
  in += framed(json{{"jsonrpc", "2.0"},
                    {"method", "textDocument/didOpen"},
                    {"params",
                     {{"textDocument",
                       {{"uri", uri}, {"languageId", "nestasm"}, {"version", 1}, {"text", text}}}}}}
                   .dump());
  feed(s, in);
  publish(s);
}

// The deepest nesting of `children` in a symbol tree, walked with a stack of its own.
static size_t tree_depth(const json& list) {
  size_t most = 0;
  std::vector<std::pair<const json*, size_t>> todo;
  for (const json& j : list) todo.push_back({&j, 1});
  while (!todo.empty()) {
    const auto [j, d] = todo.back();
    todo.pop_back();
    most = std::max(most, d);
    if (j->contains("children"))
      for (const json& k : (*j)["children"]) todo.push_back({&k, d + 1});
  }
  return most;
}

constexpr int deep = 100000;

// Shapes of a deep nest: ifs with no markers (each a block of depth 0 inside the one before), a
// loop around each, and an if chain whose else holds the next.
static std::string nest(int shape) {
  std::string t = "f:\n";
  for (int i = 0; i < deep; ++i) t += shape == 0 ? "if eax == 1\n" : shape == 1 ? "while ecx != 0\n" : "if eax == 1\nelse\n";
  t += "nop\n";
  return t;
}

TEST(LspDeep, EveryRequestOnAHundredThousandNestedBlocks) {
  for (int shape = 0; shape < 3; ++shape) {
    for (bool tree : {true, false}) {
      if (!tree && shape > 0) continue;  // the flat list does not nest: one shape shows it
      SCOPED_TRACE("shape " + std::to_string(shape) + (tree ? ", tree" : ", flat"));
      server s;
      const std::string text = nest(shape);
      open_deep(s, text, tree);
      std::vector<json> got = sent(s);
      ASSERT_EQ(got.size(), 2u);  // initialize, and the diagnostics
      EXPECT_EQ(got[1]["method"], "textDocument/publishDiagnostics");
      const int mid = deep / 2 * (shape == 2 ? 2 : 1) + 1;  // a statement line in the middle
      const json at = {{"position", {{"line", mid}, {"character", 1}}}};
      std::string in = request(1, "textDocument/documentSymbol", json::object());
      in += request(2, "textDocument/foldingRange", json::object());
      in += request(3, "textDocument/hover", at);
      in += request(4, "textDocument/documentHighlight", at);
      in += request(5, "textDocument/definition", at);
      in += request(6, "textDocument/codeAction",
                    {{"range", {{"start", {{"line", 0}, {"character", 0}}},
                                {"end", {{"line", deep + 2}, {"character", 0}}}}},
                     {"context", {{"diagnostics", json::array()}}}});
      feed(s, in);
      got = sent(s);
      ASSERT_EQ(got.size(), 6u);
      for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(got[i]["id"], i + 1);
        EXPECT_FALSE(got[i].contains("error")) << got[i].dump().substr(0, 200);
      }
      const json& symbols = got[0]["result"];
      ASSERT_TRUE(symbols.is_array());
      if (tree) {
        // The label `f`, then the blocks, 40 levels in all; every block below is listed flat in
        // the 40th, whose detail says so.
        EXPECT_EQ(tree_depth(symbols), 41u);
        const json* j = &symbols[0];
        for (int d = 1; d < 40; ++d) j = &(*j)["children"][0];
        EXPECT_NE((*j)["detail"].get<std::string>().find("listed here, not nested"),
                  std::string::npos)
            << (*j)["detail"];
      } else {
        EXPECT_GE(symbols.size(), static_cast<size_t>(deep));
      }
      // A fold for each block.
      EXPECT_GE(got[1]["result"].size(), static_cast<size_t>(deep));
    }
  }
}

TEST(LspDeep, AMessageOverTheCapIsRefusedAndTheNextOneRead) {
  server s;
  std::string in = framed(R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{}})");
  in += "Content-Length: " + std::to_string(max_message + 1) + "\r\n\r\n";
  feed(s, in);
  // The body arrives in pieces and is dropped as it comes: nothing of it is held.
  const std::string piece(1 << 20, 'x');
  for (size_t left = max_message + 1; left > 0;) {
    const size_t n = std::min(left, piece.size());
    feed(s, std::string_view(piece).substr(0, n));
    left -= n;
    EXPECT_LT(s.in.capacity(), size_t{4} << 20);
  }
  feed(s, framed(R"({"jsonrpc":"2.0","id":7,"method":"shutdown"})"));
  const std::vector<json> got = sent(s);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[1]["error"]["code"], -32600);
  EXPECT_TRUE(got[1]["id"].is_null());
  EXPECT_EQ(got[2]["id"], 7);
}
