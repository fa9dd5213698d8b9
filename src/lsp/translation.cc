// nestasm/translation: the flat text the last check made, and where each source line's output
// begins in it, so that an editor can show the translation beside the source and follow it.
#include "common/common.h"
#include "lsp/lsp.h"

void put_translation(std::string& o, const doc& d) {
  const std::vector<size_t>& made = d.res.made;
  const int64_t n = line_count(d);
  // Stopped at a line, the check marks where that line's output would have begun, and none
  // after it: the text ends there, and every later line begins at its end.
  const size_t end = made.empty() ? 0 : made.back();
  const std::string_view text = std::string_view(d.res.out).substr(0, end);
  o += "{\"text\":";
  json_string(o, text);
  o += ",\"starts\":[";
  // The offsets ascend: the line ends before each are counted once, in one walk of the text.
  size_t at = 0;
  int64_t line = 0;
  auto line_of = [&](size_t b) {
    for (; at < b; ++at) line += text[at] == '\n';
    return line;  // every line the translator writes ends with "\n"
  };
  for (int64_t i = 0; i < n; ++i) {
    const size_t k = static_cast<size_t>(i);
    o += std::to_string(line_of(k + 1 < made.size() ? made[k] : end));
    o += ',';
  }
  o += std::to_string(line_of(end));
  o += ']';
  if (d.res.stop >= 0) {
    // The translator's own words for why, as nestasm writes them, without the line end.
    std::string_view why = message(d.res.status);
    if (!why.empty() && why.back() == '\n') why.remove_suffix(1);
    o += ",\"stopped\":" + std::to_string(d.res.stop) + ",\"message\":";
    json_string(o, why);
  }
  o += '}';
}

json translation(const doc& d) {
  std::string o;
  put_translation(o, d);
  return json::parse(o);
}
