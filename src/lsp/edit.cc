// The editor writes the markers: a new line's on Enter, the formatter's layout of a whole text
// or of some lines, and a group of lines moved one level deeper or shallower. Every rule is the
// formatter's; this file only turns its line edits into the protocol's.
#include "lsp/lsp.h"

#include "fmt/fmt.h"

// Line `e.line` made `e.text` as one TextEdit over the bytes that differ, so that the editor
// keeps the cursor and the marks on the rest of the line. The formatter changes only markers
// and blanks, never a byte of a character: where the texts part is where a character starts.
static void put_line_edit(std::string& o, const server& s, const doc& d, const line_edit& e) {
  const std::string_view old = line_at(d, e.line), now = e.text;
  size_t p = 0;
  while (p < old.size() && p < now.size() && old[p] == now[p]) ++p;
  size_t q = 0;
  while (q < old.size() - p && q < now.size() - p &&
         old[old.size() - 1 - q] == now[now.size() - 1 - q])
    ++q;
  o += "{\"range\":";
  put_range(o, s, d, e.line, p, old.size() - q);
  o += ",\"newText\":";
  json_string(o, now.substr(p, now.size() - p - q));
  o += '}';
}

static void put_line_edits(std::string& o, const server& s, const doc& d,
                           const std::vector<line_edit>& edits) {
  o += '[';
  for (size_t k = 0; k < edits.size(); ++k) {
    if (k > 0) o += ',';
    put_line_edit(o, s, d, edits[k]);
  }
  o += ']';
}

bool selected_lines(const server& s, const doc& d, const json& range, int64_t& first,
                    int64_t& last) {
  pos ends[2];
  for (int k = 0; k < 2; ++k) {
    const json& p = get(range, k ? "end" : "start");
    const json& l = get(p, "line");
    const json& c = get(p, "character");
    if (!l.is_number_integer() || l.get<int64_t>() < 0) return false;
    // The protocol's lines, which a lone "\r" also ends, as the translator's.
    ends[k] = source_of(s, d, {l.get<int64_t>(), c.is_number_integer() ? c.get<int64_t>() : 0});
  }
  if (ends[1].line < ends[0].line) std::swap(ends[0], ends[1]);
  first = ends[0].line;
  last = ends[1].line;
  // A selection of whole lines ends at the start of the line after them, which is not selected.
  if (last > first && ends[1].ch == 0) --last;
  return last >= 0;
}

void put_on_type(std::string& o, const server& s, const doc& d, pos at, std::string_view ch) {
  std::vector<line_edit> edits;
  const int64_t n = at.line - 1;  // the line Enter left
  if (ch == "\n" && n >= 0 && n < line_count(d)) {
    const enter_depths e = on_enter(d.text, n);
    const mark_style style = style_of(d.text);
    if (fact_of(d, n).depth != e.line)
      edits.push_back({n, with_depth(line_at(d, n), e.line, style)});
    if (fact_of(d, at.line).depth != e.new_line)
      edits.push_back({at.line, with_depth(line_at(d, at.line), e.new_line, style)});
  }
  put_line_edits(o, s, d, edits);
}

void put_formatting(std::string& o, const server& s, const doc& d, int64_t first, int64_t last) {
  put_line_edits(o, s, d, tidy_range(d.text, first, last));
}

// Does an action of `kind` answer a request that wants only `only`? A kind covers the kinds
// below it: "refactor" asks for "refactor.rewrite.deeper".
static bool wanted(const json& only, std::string_view kind) {
  if (!only.is_array()) return true;
  for (const json& k : only) {
    if (!k.is_string()) continue;
    const std::string& w = k.get_ref<const std::string&>();
    if (w.empty() || kind == w || (kind.substr(0, w.size()) == w && kind[w.size()] == '.'))
      return true;
  }
  return false;
}

void put_shift_actions(std::string& o, const server& s, const doc& d, const json& params) {
  int64_t first = 0, last = 0;
  if (o.empty() || o.back() != ']' || !selected_lines(s, d, get(params, "range"), first, last)) return;
  const json& only = get(get(params, "context"), "only");
  static const struct {
    const char* title;
    const char* kind;
    int by;
  } moves[] = {{"One level deeper", "refactor.rewrite.deeper", 1},
               {"One level shallower", "refactor.rewrite.shallower", -1}};
  o.pop_back();
  bool first_here = o.back() == '[';
  for (const auto& m : moves) {
    if (!wanted(only, m.kind)) continue;
    const std::vector<line_edit> edits = shift(d.text, first, last, m.by);
    if (edits.empty()) continue;
    o += first_here ? "{\"title\":" : ",{\"title\":";
    first_here = false;
    json_string(o, m.title);
    o += ",\"kind\":";
    json_string(o, m.kind);
    o += ",\"edit\":{\"changes\":{";
    json_string(o, d.uri);
    o += ':';
    put_line_edits(o, s, d, edits);
    o += "}}}";
  }
  o += ']';
}
