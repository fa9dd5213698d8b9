// nestasm/translation: the flat text the last check made, and where each source line's output
// begins in it, so that an editor can show the translation beside the source and follow it.
#include <algorithm>

#include "lsp/lsp.h"

void put_translation(std::string& o, const doc& d) {
  const std::vector<size_t>& made = d.res.made;
  const int64_t n = line_count(d);
  // Stopped at a line, the translation made nothing from there on: the output stops where
  // that line's would have begun, and every later line begins at its end.
  const bool stopped = d.res.stop >= 0;
  const size_t lines_made =
      std::min(stopped ? static_cast<size_t>(d.res.stop) + 1 : made.size(), made.size());
  const size_t end = lines_made == 0 ? 0 : stopped ? made[lines_made - 1] : made.back();
  const std::string_view text = std::string_view(d.res.out).substr(0, end);
  o += "{\"text\":";
  json_string(o, text);
  o += ",\"starts\":[";
  // The offsets ascend: the line ends before each are counted once, in one walk of the text.
  size_t at = 0;
  int64_t line = 0;
  auto line_of = [&](size_t b) {
    for (; at < b; ++at) line += text[at] == '\n';
    // A last line without its line end is a line too.
    return line + (b == text.size() && b > 0 && text.back() != '\n' ? 1 : 0);
  };
  for (int64_t i = 0; i < n; ++i) {
    const size_t k = static_cast<size_t>(i);
    o += std::to_string(line_of(k + 1 < lines_made ? made[k] : end));
    o += ',';
  }
  o += std::to_string(line_of(end));
  o += ']';
  if (stopped) o += ",\"stopped\":" + std::to_string(d.res.stop);
  o += '}';
}

json translation(const doc& d) {
  std::string o;
  put_translation(o, d);
  return json::parse(o);
}
