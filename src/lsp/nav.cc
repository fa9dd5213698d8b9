// A block's own lines (highlights and the way back to its opening statement) and, on hover, a
// line's translation and the blocks it is in.
#include "lsp/lsp.h"

// The block whose if, while, elif, else or end is line `i`, or null.
static const block_info* block_at(const doc& d, int64_t i) {
  const int32_t k = fact_of(d, i).block;
  return k < 0 ? nullptr : &d.res.blocks[static_cast<size_t>(k)];
}

void put_highlights(std::string& o, const server& s, const doc& d, pos p) {
  const block_info* b = block_at(d, p.line);
  if (!b) {
    o += "null";
    return;
  }
  auto one = [&](int64_t line, bool first) {
    o += first ? "{\"range\":" : ",{\"range\":";
    put_word(o, s, d, line);
    o += ",\"kind\":1}";
  };
  o += '[';
  one(b->open, true);
  for (int64_t x : b->branches) one(x, false);
  if (b->how == closed_by::end && b->close >= 0) one(b->close, false);
  o += ']';
}

json highlights(const server& s, const doc& d, pos p) {
  std::string o;
  put_highlights(o, s, d, p);
  return json::parse(o);
}

json definition(const server& s, const doc& d, pos p) {
  const block_info* b = block_at(d, p.line);
  if (!b || b->open == p.line) return nullptr;
  return {{"uri", d.uri}, {"range", word_range(s, d, b->open)}};
}

json hover(const server& s, const doc& d, pos p) {
  const int64_t i = p.line;
  if (i < 0 || i >= line_count(d)) return nullptr;
  const line_fact& f = fact_of(d, i);
  std::string text;
  const bool statement = f.kind != stmt::blank && f.kind != stmt::plain;
  const std::optional<std::string_view> code = translation_of(d, i);
  if (statement && code) {
    if (code->empty())
      text = "translates to no line";
    else if (s.markdown)
      text = "```nasm\n" + std::string(*code) + "\n```";
    else
      text = std::string(*code);
  }
  const int64_t stop = d.res.stop;
  std::string where;
  if (stop >= 0 && i > stop) {
    where = "not translated: the translation stops at line " + num1(stop);
  } else {
    std::vector<const block_info*> in;
    for (size_t k = 0; k < d.res.blocks.size(); ++k)
      if (d.res.blocks[k].open < i && i <= d.res.reach[k]) in.push_back(&d.res.blocks[k]);
    // In a deep nest, the outermost block and the innermost few.
    const size_t shown = 6;
    for (size_t k = 0; k < in.size(); ++k) {
      if (in.size() > shown && k > 0 && k < in.size() - (shown - 2)) {
        if (k == 1) where += ", " + std::to_string(in.size() - (shown - 1)) + " more blocks";
        continue;
      }
      const block_info& b = *in[k];
      where += k == 0 ? "inside " : k + 1 == in.size() ? " and " : ", ";
      where += "the ";
      where += line_fact::block_word[b.kind];
      where += " of line " + num1(b.open);
      // The branch the line is in, when it is not the first.
      for (size_t x = b.branches.size(); x-- > 0;)
        if (b.branches[x] <= i) {
          const bool is_else = b.has_else && x + 1 == b.branches.size();
          where += std::string(" (") + (is_else ? "else" : "elif") + " branch of line " +
                   num1(b.branches[x]) + ")";
          break;
        }
    }
    if (!where.empty()) where += "; depth " + std::to_string(f.depth);
  }
  if (!where.empty()) {
    if (!text.empty()) text += s.markdown ? "\n\n" : "\n";
    text += where;
  }
  if (text.empty()) return nullptr;
  return {{"contents", {{"kind", s.markdown ? "markdown" : "plaintext"}, {"value", text}}}};
}
