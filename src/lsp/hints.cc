// Inlay hints: at each line that closes blocks, by its end or by its depth, what it closes.
#include <algorithm>

#include "lsp/lsp.h"

void put_inlay_hints(std::string& o, const server& s, const doc& d, const json& params) {
  int64_t from, to;
  lines_asked(s, d, params, from, to);
  const std::vector<block_info>& blocks = d.res.blocks;
  // The blocks closed on a line of the range; the end of the input is no line to show one at.
  std::vector<size_t> shut;
  for (size_t k = 0; k < blocks.size(); ++k) {
    const block_info& b = blocks[k];
    if (b.close >= from && b.close <= to && b.close < line_count(d) &&
        b.how != closed_by::input_end)
      shut.push_back(k);
  }
  // By line, and on one line the innermost first: the one opened last.
  std::sort(shut.begin(), shut.end(), [&](size_t x, size_t y) {
    return blocks[x].close != blocks[y].close ? blocks[x].close < blocks[y].close : x > y;
  });
  o += '[';
  std::string label;
  for (size_t i = 0, k = 0; i < shut.size(); i = k) {
    const int64_t line = blocks[shut[i]].close;
    label = "closes ";
    for (k = i; k < shut.size() && blocks[shut[k]].close == line; ++k) {
      const block_info& b = blocks[shut[k]];
      const line_fact& f = fact_of(d, b.open);
      if (k > i) label += ", ";
      label += line_at(d, b.open).substr(f.at, f.body);
      // The line as the editor numbers it.
      label += " (line " + num1(where(s, d, b.open, 0).line) + ")";
    }
    o += i == 0 ? "{\"position\":" : ",{\"position\":";
    put_position(o, where(s, d, line, std::string_view::npos));
    o += ",\"label\":";
    json_string(o, label);
    o += ",\"paddingLeft\":true}";
  }
  o += ']';
}
