// Semantic tokens: the depth markers, the statement words and the operator a condition is split
// at, as the last check and the core's own split read them.
#include "cond/cond.h"
#include "lsp/lsp.h"

namespace {
// The legend's token types, in its order. Markers alternate between two types by their place in
// the prefix, so that the depth reads as bands of colour; both are types every default theme
// colours, and neither is what the assembly's words get from the grammar. The operator is a
// keyword too: the type `operator` falls back to the scope `keyword.operator`, which Light Modern
// and Light+ leave black, over the grammar's blue; `keyword` is blue in both, and in the dark ones.
enum : int { keyword, marker_odd, marker_even, oper = keyword };
}  // namespace

const char tokens_capability[] =
    R"({"legend":{"tokenTypes":["keyword","macro","type"],"tokenModifiers":[]},)"
    R"("full":true,"range":true})";

void put_tokens(std::string& o, const server& s, const doc& d, const json& params, bool ranged) {
  int64_t from = 0, to = line_count(d) - 1;
  if (ranged) {
    lines_asked(s, d, params, from, to);
    to = std::min(to, line_count(d) - 1);
  }
  o += "{\"data\":[";
  pos last;  // the place of the token before, which the protocol counts from
  bool first = true;
  auto put = [&](pos p, size_t len, int type) {
    if (!first) o += ',';
    first = false;
    o += std::to_string(p.line - last.line);
    o += ',';
    o += std::to_string(p.line == last.line ? p.ch - last.ch : p.ch);
    o += ',';
    o += std::to_string(len);
    o += ',';
    o += std::to_string(type);
    o += ",0";
    last = p;
  };
  for (int64_t i = std::max<int64_t>(from, 0); i <= to; ++i) {
    const line_fact& f = fact_of(d, i);
    const std::string_view line = line_at(d, i);
    // Each token's column from the one before on its line: every token is ASCII and after the
    // one before, so a line costs one pass over what precedes its last token. Only a lone "\r"
    // between them, a line end to the protocol, needs the whole conversion.
    size_t at = 0;
    pos p = where(s, d, i, 0);
    auto token = [&](size_t b, size_t len, int type) {
      const std::string_view gap = line.substr(at, b - at);
      if (!d.proto.empty() && gap.find('\r') != std::string_view::npos)
        p = where(s, d, i, b);
      else
        p.ch += col_of(gap, std::string_view::npos, s.utf8);
      at = b;
      put(p, len, type);
    };
    const size_t prefix = std::min<size_t>(f.at, line.size());
    int64_t depth = 0;
    for (size_t b = 0; b < prefix; ++b)
      if (line[b] == '&') token(b, 1, depth++ % 2 == 0 ? marker_odd : marker_even);
    if (f.word == 0) continue;
    token(f.at, f.word, keyword);
    if (f.kind != stmt::if_ && f.kind != stmt::elif && f.kind != stmt::while_) continue;
    const std::string_view arg = scan_line(line).arg;
    const cond_split cs = split_cond(arg);
    if (cs.op)
      token(static_cast<size_t>(arg.data() - line.data()) + cs.at, cs.op->text.size(), oper);
  }
  o += "]}";
}
