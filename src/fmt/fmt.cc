// The one layout of markers, and the marker style a text already has.
#include "fmt/fmt.h"

#include "scan/scan.h"

// Each line of `text` as the translator cuts it, with the line end that follows it, to `each`.
template <class F>
static void each_line(std::string_view text, F&& each) {
  size_t pos = 0;
  for (int64_t n = 0; pos < text.size(); ++n) {
    const size_t at = pos;
    const std::string_view line = next_line(text, pos);
    const size_t end = at + line.size();
    if (!each(n, line, text.substr(end, pos - end))) return;
  }
}

mark_style style_of(std::string_view text) {
  mark_style m;
  bool spaced = false, after = false;  // found yet
  each_line(text, [&](int64_t, std::string_view line, std::string_view) {
    const line_scan s = scan_line(line);
    // Markers before nothing, on a line of markers alone, show no style.
    if (s.depth == 0 || s.body.empty()) return true;
    const std::string_view prefix = line.substr(0, s.prefix);
    const size_t first = prefix.find('&');
    const size_t last = prefix.rfind('&');
    if (!spaced && s.depth >= 2) {
      m.spaced = prefix[first + 1] == ' ';
      spaced = true;
    }
    if (!after) {
      // A tab ends the prefix and parts the markers from the body as a space would.
      m.space_after = last + 1 < line.size() && (line[last + 1] == ' ' || line[last + 1] == '\t');
      after = true;
    }
    return !(spaced && after);
  });
  return m;
}

// Append the markers of `depth` in `style` to `out`.
static void put_markers(std::string& out, int64_t depth, mark_style style) {
  for (int64_t i = 0; i < depth; ++i) {
    out += '&';
    if (i + 1 < depth ? style.spaced : style.space_after) out += ' ';
  }
}

std::string markers(int64_t depth, mark_style style) {
  std::string m;
  put_markers(m, depth, style);
  return m;
}

void tidy_line(std::string& out, std::string_view line) {
  const line_scan s = scan_line(line);
  // Copied as they stand by the translator, so their bytes are the output's: not touched.
  if (s.kind == stmt::blank) {
    out += line;
    return;
  }
  put_markers(out, s.depth, {});
  // Written after a space, the "&" would count as one more marker: a tab ends the prefix.
  if (s.body[0] == '&') out += '\t';
  out += s.body;
}

std::string tidy(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8 + 16);
  each_line(text, [&](int64_t, std::string_view line, std::string_view eol) {
    tidy_line(out, line);
    out += eol;
    return true;
  });
  return out;
}

int64_t first_untidy(std::string_view text) {
  int64_t at = -1;
  std::string t;
  each_line(text, [&](int64_t n, std::string_view line, std::string_view) {
    t.clear();
    tidy_line(t, line);
    if (t == line) return true;
    at = n;
    return false;
  });
  return at;
}

std::vector<line_edit> tidy_range(std::string_view text, int64_t first, int64_t last) {
  std::vector<line_edit> edits;
  std::string t;
  each_line(text, [&](int64_t n, std::string_view line, std::string_view) {
    if (n < first) return true;
    t.clear();
    tidy_line(t, line);
    if (t != line) edits.push_back({n, t});
    return n < last;
  });
  return edits;
}

std::string with_depth(std::string_view line, int64_t depth, mark_style style) {
  std::string out;
  put_markers(out, depth, style);
  // The rest begins with neither "&" nor a space, so the new markers end where they end.
  out += line.substr(scan_line(line).prefix);
  return out;
}

// `line` with one marker more, put where the markers begin (after the indentation of a line
// without any), so that what ends the prefix still ends it.
static std::string deeper(std::string_view line, const line_scan& s, mark_style style) {
  const size_t amp = line.substr(0, s.prefix).find('&');
  const size_t at = amp == std::string_view::npos ? s.prefix : amp;
  std::string out(line.substr(0, at));
  out += '&';
  if (s.depth > 0 ? style.spaced : style.space_after) out += ' ';
  out += line.substr(at);
  return out;
}

// `line` with its last marker gone, and with it the one space that parted it from its
// neighbour, so that "& & x" becomes "& x" and "& &x" becomes "&x".
static std::string shallower(std::string_view line, const line_scan& s) {
  const size_t k = line.substr(0, s.prefix).rfind('&');
  const bool after = k + 1 < s.prefix && line[k + 1] == ' ';
  const bool before = k > 0 && line[k - 1] == ' ';
  size_t from = k, to = k + 1;
  if (after && (before || k == 0)) {
    to = k + 2;
  } else if (before && !after && k >= 2 && line[k - 2] == '&') {
    from = k - 1;
  }
  std::string out(line.substr(0, from));
  out += line.substr(to);
  return out;
}

std::vector<line_edit> shift(std::string_view text, int64_t first, int64_t last, int by) {
  std::vector<line_edit> edits;
  if (by == 0) return edits;
  const mark_style style = style_of(text);
  each_line(text, [&](int64_t n, std::string_view line, std::string_view) {
    if (n < first) return true;
    const line_scan s = scan_line(line);
    if (!s.body.empty() && (by > 0 || s.depth > 0))
      edits.push_back({n, by > 0 ? deeper(line, s, style) : shallower(line, s)});
    return n < last;
  });
  return edits;
}
