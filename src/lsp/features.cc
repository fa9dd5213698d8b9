// What the editor shows of a checked document: diagnostics and their fixes, the blocks (folds,
// highlights, the way back to the opening statement, the outline) and, on hover, the translation.
#include <algorithm>

#include "common/common.h"
#include "lsp/lsp.h"

// --- positions --------------------------------------------------------------------------------

// The protocol's position of byte `b` of line `line`. A line past the last one is the end of the
// text: the empty line after a final line end, or the end of a last line that has none.
static pos where(const server& s, const doc& d, int64_t line, size_t b) {
  const int64_t n = line_count(d);
  if (line >= n) {
    const bool ended = d.text.empty() || d.text.back() == '\n' || d.text.back() == '\r';
    if (ended) return {n, 0};
    line = n - 1;
    b = std::string_view::npos;
  }
  if (line < 0) line = 0;
  return {line, col_of(line_at(d, line), b, s.utf8)};
}

static json position(const server& s, const doc& d, int64_t line, size_t b) {
  const pos p = where(s, d, line, b);
  return {{"line", p.line}, {"character", p.ch}};
}

json range_of(const server& s, const doc& d, int64_t line, size_t b, size_t e) {
  return {{"start", position(s, d, line, b)}, {"end", position(s, d, line, e)}};
}

// The statement word of line `i`, or its text when it has none.
static json word_range(const server& s, const doc& d, int64_t i) {
  const std::string_view l = line_at(d, i);
  const line_scan sc = scan_line(l);
  const size_t b = static_cast<size_t>(sc.body.data() - l.data());
  const size_t len = sc.kind == stmt::plain || sc.kind == stmt::blank ? sc.body.size() : sc.word;
  return range_of(s, d, i, b, b + len);
}

// --- diagnostics ------------------------------------------------------------------------------
// Written as JSON text directly: a document can draw a warning on every tenth line, and built as
// a tree of values and then dumped, the 1,486 diagnostics of a 10,000-line mix took 15-25 ms of
// the 20 ms an edit may cost; written here they take about 1 ms.

static void put_position(std::string& o, pos p) {
  o += "{\"line\":";
  o += std::to_string(p.line);
  o += ",\"character\":";
  o += std::to_string(p.ch);
  o += '}';
}

static void put_range(std::string& o, const server& s, const doc& d, const diag& g) {
  int64_t line = 0;
  size_t b = 0, e = 0;
  if (g.line > 0) {
    line = g.line - 1;
    b = g.col > 0 ? g.col - 1 : 0;
    e = g.end_col > g.col ? g.end_col - 1 : b;
  }
  o += "{\"start\":";
  put_position(o, where(s, d, line, b));
  o += ",\"end\":";
  put_position(o, where(s, d, line, e));
  o += '}';
}

// A note that goes on with the explanation of the diagnostic before it, at its place: part of
// that diagnostic's message, not a place of its own.
static bool goes_on(const diag& n) { return !n.echo; }

// The error or warning d.diags[i], with the notes that follow it; `i` moves past them.
static void put_diag(std::string& o, const server& s, const doc& d, size_t& i) {
  const diag& g = d.diags[i];
  size_t end = i + 1;
  while (end < d.diags.size() && d.diags[end].lvl == level::note) ++end;
  o += "{\"range\":";
  put_range(o, s, d, g);
  o += g.lvl == level::error ? ",\"severity\":1" : ",\"severity\":2";
  o += ",\"source\":\"nestasm\"";
  if (g.lvl == level::error) {
    o += ",\"code\":\"status ";
    o += std::to_string(g.status);
    o += '"';
  } else if (g.name >= 0) {
    o += ",\"code\":";
    json_string(o, name_of(static_cast<wname>(g.name)));
  }
  o += ",\"message\":";
  std::string m = g.text;
  size_t elsewhere = 0;
  for (size_t k = i + 1; k < end; ++k) {
    const diag& n = d.diags[k];
    if (goes_on(n)) {
      m += "\n" + n.text;
    } else if (!s.related) {
      // A client that cannot show related information would lose the line that really closed
      // a block: the notes go into the message.
      m += "\nline " + std::to_string(n.line) + ": " + n.text;
    } else {
      ++elsewhere;
    }
  }
  json_string(o, m);
  if (elsewhere > 0) {
    o += ",\"relatedInformation\":[";
    bool first = true;
    for (size_t k = i + 1; k < end; ++k) {
      if (goes_on(d.diags[k])) continue;
      o += first ? "{\"location\":{\"uri\":" : ",{\"location\":{\"uri\":";
      first = false;
      json_string(o, d.uri);
      o += ",\"range\":";
      put_range(o, s, d, d.diags[k]);
      o += "},\"message\":";
      json_string(o, d.diags[k].text);
      o += '}';
    }
    o += ']';
  }
  o += '}';
  i = end;
}

void put_diagnostics(std::string& o, const server& s, const doc& d) {
  o += '[';
  size_t i = 0;
  // Notes before any error or warning have nothing to belong to.
  while (i < d.diags.size() && d.diags[i].lvl == level::note) ++i;
  for (bool first = true; i < d.diags.size(); first = false) {
    if (!first) o += ',';
    put_diag(o, s, d, i);
  }
  o += ']';
}

// --- quick fixes ------------------------------------------------------------------------------

static bool inserts_line(const edit& e) {
  return e.col == 1 && e.end_col == 1 && !e.text.empty() && e.text.back() == '\n';
}

// The line an edit ends on, 0-based: its own, unless it reaches into a later one.
static int64_t end_line_of(const edit& e) { return (e.end_line > 0 ? e.end_line : e.line) - 1; }

static json text_edit(const server& s, const doc& d, const edit& e) {
  const int64_t line = e.line - 1;
  if (inserts_line(e) && line >= line_count(d) && !d.text.empty() && d.text.back() != '\n') {
    // After a last line that has no line end: the new line needs one before it.
    const size_t end = line_at(d, line_count(d) - 1).size();
    return {{"range", range_of(s, d, line_count(d) - 1, end, end)}, {"newText", "\n" + e.text}};
  }
  const size_t b = e.col > 0 ? e.col - 1 : 0;
  const int64_t last = end_line_of(e);
  const size_t end = e.end_col > 0 ? e.end_col - 1 : 0;
  if (last != line)
    return {{"range", {{"start", position(s, d, line, b)}, {"end", position(s, d, last, end)}}},
            {"newText", e.text}};
  return {{"range", range_of(s, d, line, b, e.end_col > e.col ? e.end_col - 1 : b)},
          {"newText", e.text}};
}

static std::string title_of(const doc& d, const edit& e) {
  std::string_view shown = e.text;
  if (inserts_line(e))
    return "Insert the line `" + std::string(shown.substr(0, shown.size() - 1)) + "`";
  const std::string_view l = line_at(d, e.line - 1);
  const size_t b = e.col > 0 ? std::min(e.col - 1, l.size()) : 0;
  if (end_line_of(e) != e.line - 1) {
    // A whole line, or more, taken out (or put in another's place).
    const std::string what(trimx(l));
    if (shown.empty()) return what.empty() ? "Remove the blank line" : "Remove `" + what + "`";
    return "Replace `" + what + "` and what follows it by `" + std::string(trimx(shown)) + "`";
  }
  const std::string_view old = l.substr(b, e.end_col > e.col ? e.end_col - e.col : 0);
  if (old.empty()) return "Insert `" + std::string(shown) + "`";
  if (shown.empty()) return "Remove `" + std::string(old) + "`";
  return "Change `" + std::string(old) + "` to `" + std::string(shown) + "`";
}

// The same diagnostic: a check with its line's suggestions checked makes it again, at the same
// place.
static bool same(const diag& a, const diag& b) {
  return a.lvl == b.lvl && a.line == b.line && a.col == b.col && a.name == b.name &&
         a.status == b.status;
}

json code_actions(const server& s, doc& d, const json& params) {
  json a = json::array();
  // Only quick fixes are offered.
  if (const json& only = get(get(params, "context"), "only"); only.is_array()) {
    bool wanted = false;
    for (const json& k : only) wanted = wanted || (k.is_string() && (k == "quickfix" || k == ""));
    if (!wanted) return a;
  }
  int64_t from = 0, to = INT64_MAX;
  const json& range = get(params, "range");
  if (const json& l = get(get(range, "start"), "line"); l.is_number_integer())
    from = l.get<int64_t>();
  if (const json& l = get(get(range, "end"), "line"); l.is_number_integer()) to = l.get<int64_t>();
  check_fixes(d, from < 0 ? 0 : from + 1, to == INT64_MAX ? to : to + 1);
  std::vector<bool> taken(d.fixed.size());
  for (size_t i = 0; i < d.diags.size();) {
    const diag& g = d.diags[i];
    if (g.lvl == level::note || g.line - 1 < from || g.line - 1 > to) {
      ++i;
      continue;
    }
    // Published without its suggestion: the verdict is in d.fixed, when it holds.
    const std::vector<edit>* fix = &g.fix;
    for (size_t k = 0; fix->empty() && k < d.fixed.size(); ++k)
      if (!taken[k] && same(d.fixed[k], g)) {
        taken[k] = true;
        fix = &d.fixed[k].fix;
      }
    if (fix->empty()) {
      ++i;
      continue;
    }
    std::string text;
    put_diag(text, s, d, i);
    json edits = json::array();
    std::string title;
    for (const edit& e : *fix) {
      edits.push_back(text_edit(s, d, e));
      if (!title.empty()) title += "; ";
      title += title_of(d, e);
    }
    a.push_back({{"title", title},
                 {"kind", "quickfix"},
                 {"isPreferred", true},
                 {"diagnostics", json::array({json::parse(text, nullptr, false)})},
                 {"edit", {{"changes", {{d.uri, edits}}}}}});
  }
  return a;
}

// --- blocks -----------------------------------------------------------------------------------

// The last line inside `b`, its end not counted; the translation stopped before it was closed
// when it has no closing line, and it then reaches the line before the one it stopped at.
static int64_t last_inside(const doc& d, const block_info& b) {
  if (b.close >= 0) return b.close - 1;
  return d.res.stop >= 0 ? d.res.stop - 1 : line_count(d) - 1;
}

// Folds, highlights and the outline are written as JSON text, as the diagnostics are: a document
// of 50 MiB has some 700,000 blocks, and as a tree of values their outline took 1.6 GB and 19 s.
void put_folding(std::string& o, const doc& d) {
  o += '[';
  bool first = true;
  for (const block_info& b : d.res.blocks) {
    int64_t from = b.open;
    for (size_t k = 0; k <= b.branches.size(); ++k) {
      const int64_t to = k < b.branches.size() ? b.branches[k] - 1 : last_inside(d, b);
      if (to > from) {
        o += first ? "{\"startLine\":" : ",{\"startLine\":";
        first = false;
        o += std::to_string(from);
        o += ",\"endLine\":";
        o += std::to_string(to);
        o += '}';
      }
      if (k < b.branches.size()) from = b.branches[k];
    }
  }
  o += ']';
}

json folding(const doc& d) {
  std::string o;
  put_folding(o, d);
  return json::parse(o);
}

// The block whose if, while, elif, else or end is line `i`, or null.
static const block_info* block_at(const doc& d, int64_t i) {
  for (const block_info& b : d.res.blocks) {
    if (b.open == i || (b.close == i && b.how == closed_by::end)) return &b;
    for (int64_t x : b.branches)
      if (x == i) return &b;
  }
  return nullptr;
}

// The protocol's range of bytes [b, e) of line `line`, written at the end of `o`.
static void put_range(std::string& o, const server& s, const doc& d, int64_t line, size_t b,
                      size_t e) {
  o += "{\"start\":";
  put_position(o, where(s, d, line, b));
  o += ",\"end\":";
  put_position(o, where(s, d, line, e));
  o += '}';
}

// The range of the statement word of line `i`, or of its text when it has none.
static void put_word(std::string& o, const server& s, const doc& d, int64_t i) {
  const std::string_view l = line_at(d, i);
  const line_scan sc = scan_line(l);
  const size_t b = static_cast<size_t>(sc.body.data() - l.data());
  const size_t len = sc.kind == stmt::plain || sc.kind == stmt::blank ? sc.body.size() : sc.word;
  put_range(o, s, d, i, b, b + len);
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

// --- outline ----------------------------------------------------------------------------------

namespace {
struct sym {
  std::string name, detail;
  int kind = 0;
  int64_t from = 0, to = 0;  // lines
  int64_t at = 0;            // the line of its name
  std::vector<size_t> kids;
};
}  // namespace

static std::string num1(int64_t i) { return std::to_string(i + 1); }

static std::string block_detail(const doc& d, const block_info& b) {
  const std::string lines = "lines " + num1(b.open) + "–";
  switch (b.close < 0 ? closed_by::input_end : b.how) {
    case closed_by::end: return lines + num1(b.close);
    case closed_by::line: return lines + num1(b.close - 1) + ", closed by line " + num1(b.close);
    case closed_by::blank:
      return lines + num1(b.close - 1) + ", closed by the blank line " + num1(b.close);
    case closed_by::comment:
      return lines + num1(b.close - 1) + ", closed by the comment on line " + num1(b.close);
    case closed_by::input_end: break;
  }
  if (b.close < 0) return lines + num1(last_inside(d, b)) + ", open where the translation stops";
  return lines + num1(b.close - 1) + ", open to the end of the input";
}

// The outline nests this many levels, labels counted; the blocks deeper than that are listed
// flat inside the last symbol that nests, whose detail says so. Each level is two levels of JSON
// (the symbol and its children), and the parsers editors use stop at a nesting depth: Ruby's
// JSON at 100 by default, serde_json at 128, some at less. 40 levels and the message around
// them (41 with the flat ones) stay within 85; no program written by hand nests 40 deep.
constexpr size_t outline_levels = 40;

void put_symbols(std::string& o, const server& s, const doc& d) {
  std::vector<sym> all;
  std::vector<size_t> top;
  // The plain labels (not .local ones); each reaches to the next.
  std::vector<size_t> labels;
  const int64_t n = line_count(d);
  for (int64_t i = 0; i < n; ++i) {
    const std::string_view l = line_at(d, i);
    if (l.find(':') == std::string_view::npos) continue;
    const line_scan sc = scan_line(l);
    if (sc.kind != stmt::plain) continue;
    const std::string_view name = label_of(sc.body);
    if (name.empty() || name[0] == '.') continue;
    if (!labels.empty()) all[labels.back()].to = i - 1;
    // A label with an instruction or data after it names that; alone, the code that follows.
    const bool data = trimx(sc.body.substr(name.size() + 1)).size() > 0;
    labels.push_back(all.size());
    top.push_back(all.size());
    all.push_back({std::string(name), "", data ? 13 : 12, i, n - 1, i, {}});
  }
  const size_t nlabels = all.size();
  const size_t first_block = all.size();
  all.reserve(all.size() + d.res.blocks.size());
  for (const block_info& b : d.res.blocks) {
    const int64_t to = b.close >= 0 && b.how == closed_by::end ? b.close : last_inside(d, b);
    all.push_back({std::string(scan_line(line_at(d, b.open)).body),
                   block_detail(d, b),
                   3,
                   b.open,
                   std::max(to, b.open),
                   b.open,
                   {}});
  }
  for (size_t k = 0; k < d.res.blocks.size(); ++k) {
    const block_info& b = d.res.blocks[k];
    const size_t me = first_block + k;
    if (b.parent >= 0) {
      all[first_block + static_cast<size_t>(b.parent)].kids.push_back(me);
      continue;
    }
    // Under the last label before it, which then reaches as far as the block does.
    const auto after =
        std::partition_point(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(nlabels),
                             [&](const sym& l) { return l.from < b.open; });
    if (after == all.begin()) {
      top.push_back(me);
      continue;
    }
    const size_t owner = static_cast<size_t>(after - all.begin()) - 1;
    all[owner].kids.push_back(me);
    all[owner].to = std::max(all[owner].to, all[me].to);
  }
  auto put_whole = [&](const sym& x) {
    o += "{\"start\":";
    put_position(o, {x.from, 0});
    o += ",\"end\":";
    put_position(o, where(s, d, x.to, std::string_view::npos));
    o += '}';
  };
  auto put_head = [&](const sym& x, std::string_view more) {
    o += "{\"name\":";
    json_string(o, x.name);
    o += ",\"kind\":";
    o += std::to_string(x.kind);
    if (s.tree && (!x.detail.empty() || !more.empty())) {
      o += ",\"detail\":";
      json_string(o, x.detail + std::string(more));
    }
  };
  // Labels and blocks outside them, in the order of their lines.
  std::stable_sort(top.begin(), top.end(),
                   [&](size_t x, size_t y) { return all[x].from < all[y].from; });
  o += '[';
  if (s.tree) {
    auto put_sym = [&](size_t i, std::string_view more) {
      const sym& x = all[i];
      put_head(x, more);
      o += ",\"range\":";
      put_whole(x);
      const std::string_view l = line_at(d, x.at);
      const size_t b = static_cast<size_t>(scan_line(l).body.data() - l.data());
      o += ",\"selectionRange\":";
      put_range(o, s, d, x.at, b, b + x.name.size());
      o += ",\"children\":[";
    };
    // Depth first with a stack of its own: a nest is as deep as the document is long. Each entry
    // is a symbol whose children are being written, and the next of them.
    struct at_kid {
      size_t sym, next;
    };
    std::vector<at_kid> path;
    std::vector<size_t> below;  // the blocks inside the deepest symbol that nests, in order
    for (size_t t = 0; t < top.size(); ++t) {
      if (t > 0) o += ',';
      put_sym(top[t], {});
      path.push_back({top[t], 0});
      while (!path.empty()) {
        at_kid& p = path.back();
        const std::vector<size_t>& kids = all[p.sym].kids;
        if (p.next == kids.size()) {
          o += "]}";
          path.pop_back();
          continue;
        }
        if (p.next > 0) o += ',';
        const size_t k = kids[p.next++];
        if (path.size() + 1 < outline_levels || all[k].kids.empty()) {
          put_sym(k, {});
          path.push_back({k, 0});
          continue;
        }
        // The last level that nests: what is inside it follows it flat, in the order of lines.
        below.clear();
        std::vector<size_t> todo(all[k].kids.rbegin(), all[k].kids.rend());
        while (!todo.empty()) {
          const size_t x = todo.back();
          todo.pop_back();
          below.push_back(x);
          todo.insert(todo.end(), all[x].kids.rbegin(), all[x].kids.rend());
        }
        put_sym(k, "; the " + std::to_string(below.size()) +
                       " blocks inside it are listed here, not nested: the outline nests " +
                       std::to_string(outline_levels) + " levels");
        for (size_t j = 0; j < below.size(); ++j) {
          if (j > 0) o += ',';
          put_sym(below[j], {});
          o += "]}";
        }
        o += "]}";
      }
    }
    o += ']';
    return;
  }
  // A flat list for clients that take no tree: each names the one it is in.
  std::vector<size_t> container(all.size(), SIZE_MAX);
  for (size_t i = 0; i < all.size(); ++i)
    for (size_t k : all[i].kids) container[k] = i;
  std::vector<size_t> order(all.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t x, size_t y) { return all[x].from < all[y].from; });
  bool first = true;
  for (size_t i : order) {
    if (!first) o += ',';
    first = false;
    put_head(all[i], {});
    o += ",\"location\":{\"uri\":";
    json_string(o, d.uri);
    o += ",\"range\":";
    put_whole(all[i]);
    o += '}';
    if (container[i] != SIZE_MAX) {
      o += ",\"containerName\":";
      json_string(o, all[container[i]].name);
    }
    o += '}';
  }
  o += ']';
}

json symbols(const server& s, const doc& d) {
  std::string o;
  put_symbols(o, s, d);
  return json::parse(o);
}

// --- hover ------------------------------------------------------------------------------------

static const char* kind_word(int kind) { return kind == while_blk ? "while-block" : "if-block"; }

json hover(const server& s, const doc& d, pos p) {
  const int64_t i = p.line;
  if (i < 0 || i >= line_count(d)) return nullptr;
  const line_scan sc = scan_line(line_at(d, i));
  std::string text;
  const bool statement = sc.kind != stmt::blank && sc.kind != stmt::plain;
  const auto& made = d.res.made;
  if (statement && static_cast<size_t>(i) + 1 < made.size()) {
    const size_t b = made[static_cast<size_t>(i)], e = made[static_cast<size_t>(i) + 1];
    std::string_view code = std::string_view(d.made).substr(b, e - b);
    if (!code.empty() && code.back() == '\n') code.remove_suffix(1);
    if (code.empty())
      text = "translates to no line";
    else if (s.markdown)
      text = "```nasm\n" + std::string(code) + "\n```";
    else
      text = std::string(code);
  }
  const int64_t stop = d.res.stop;
  std::string where;
  if (stop >= 0 && i > stop) {
    where = "not translated: the translation stops at line " + num1(stop);
  } else {
    std::vector<const block_info*> in;
    for (const block_info& b : d.res.blocks)
      if (b.open < i && i <= (b.close >= 0 ? b.close - 1 : stop)) in.push_back(&b);
    // In a deep nest, the outermost block and the innermost few.
    const size_t shown = 6;
    for (size_t k = 0; k < in.size(); ++k) {
      if (in.size() > shown && k > 0 && k < in.size() - (shown - 2)) {
        if (k == 1) where += ", " + std::to_string(in.size() - (shown - 1)) + " more blocks";
        continue;
      }
      const block_info& b = *in[k];
      where += k == 0 ? "inside " : k + 1 == in.size() ? " and " : ", ";
      where += std::string("the ") + kind_word(b.kind) + " of line " + num1(b.open);
      // The branch the line is in, when it is not the first.
      for (size_t x = b.branches.size(); x-- > 0;)
        if (b.branches[x] <= i) {
          const bool is_else = b.has_else && x + 1 == b.branches.size();
          where += std::string(" (") + (is_else ? "else" : "elif") + " branch of line " +
                   num1(b.branches[x]) + ")";
          break;
        }
    }
    if (!where.empty()) where += "; depth " + std::to_string(sc.depth);
  }
  if (!where.empty()) {
    if (!text.empty()) text += s.markdown ? "\n\n" : "\n";
    text += where;
  }
  if (text.empty()) return nullptr;
  return {{"contents", {{"kind", s.markdown ? "markdown" : "plaintext"}, {"value", text}}}};
}
