// Quick fixes: the checker's suggestions, checked when asked for, as the protocol's code actions.
#include <algorithm>

#include "common/common.h"
#include "lsp/lsp.h"

static bool inserts_line(const edit& e) {
  return e.col == 1 && e.end_col == 1 && !e.text.empty() && e.text.back() == '\n';
}

// The line an edit ends on, 0-based: its own, unless it reaches into a later one.
static int64_t end_line_of(const edit& e) { return (e.end_line > 0 ? e.end_line : e.line) - 1; }

static void put_edit(std::string& o, const server& s, const doc& d, const edit& e) {
  const int64_t line = e.line - 1;
  o += "{\"range\":";
  if (inserts_line(e) && line >= line_count(d) && !d.text.empty() && d.text.back() != '\n') {
    // After a last line that has no line end: the new line needs one before it.
    const size_t end = line_at(d, line_count(d) - 1).size();
    put_range(o, s, d, line_count(d) - 1, end, end);
    o += ",\"newText\":";
    json_string(o, "\n" + e.text);
    o += '}';
    return;
  }
  const size_t b = e.col > 0 ? e.col - 1 : 0;
  const int64_t last = end_line_of(e);
  if (last != line)
    put_span(o, s, d, line, b, last, e.end_col > 0 ? e.end_col - 1 : 0);
  else
    put_range(o, s, d, line, b, e.end_col > e.col ? e.end_col - 1 : b);
  o += ",\"newText\":";
  json_string(o, e.text);
  o += '}';
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

void put_code_actions(std::string& o, const server& s, doc& d, const json& params) {
  o += '[';
  // Only quick fixes are offered.
  if (const json& only = get(get(params, "context"), "only"); only.is_array()) {
    bool wanted = false;
    for (const json& k : only) wanted = wanted || (k.is_string() && (k == "quickfix" || k == ""));
    if (!wanted) {
      o += ']';
      return;
    }
  }
  int64_t from, to;
  lines_asked(s, d, params, from, to);
  // The diagnostics the client asks about, by place and code, when it names any: a line's
  // other diagnostics have fixes of their own, asked for with them.
  const json& asked = get(get(params, "context"), "diagnostics");
  auto wanted = [&](const diag& g) {
    if (!asked.is_array() || asked.empty()) return true;
    const pos p = where(s, d, g.line > 0 ? g.line - 1 : 0, g.line > 0 && g.col > 0 ? g.col - 1 : 0);
    const std::string code = code_of(g);
    for (const json& a : asked) {
      const json& start = get(get(a, "range"), "start");
      const json& c = get(a, "code");
      if (get(start, "line") == p.line && get(start, "character") == p.ch &&
          (c.is_string() ? c.get_ref<const std::string&>() == code : code.empty()))
        return true;
    }
    return false;
  };
  check_fixes(d, from < 0 ? 0 : from + 1, to == INT64_MAX ? to : to + 1);
  // A suggestion is offered at every line its edit touches too: the blank line whose removal
  // mends an `end` further down offers it there. Only the statement error's suggestion reaches
  // other lines than its own; it is checked with the lines asked when it stands near them.
  constexpr int64_t near = 20;
  const bool any = !asked.is_array() || asked.empty();
  for (const diag& g : d.diags)
    if (any && g.lvl == level::error && g.line - 1 >= from - near && g.line - 1 <= to + near &&
        (g.line - 1 < from || g.line - 1 > to))
      check_fixes(d, g.line, g.line);
  const auto touches = [&](const std::vector<edit>& fix) {
    for (const edit& e : fix)
      if (e.line - 1 <= to && std::max(e.line, e.end_line) - 1 >= from) return true;
    return false;
  };
  std::vector<bool> taken(d.fixed.size());
  bool first = true;
  for (size_t i = 0; i < d.diags.size();) {
    const diag& g = d.diags[i];
    const bool here = g.line - 1 >= from && g.line - 1 <= to;
    const bool close = any && g.lvl == level::error && g.line - 1 >= from - near &&
                       g.line - 1 <= to + near;
    if (g.lvl == level::note || !(here || close) || (here && !wanted(g))) {
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
    if (fix->empty() || (!here && !touches(*fix))) {
      ++i;
      continue;
    }
    std::string title;
    for (const edit& e : *fix) {
      if (!title.empty()) title += "; ";
      title += title_of(d, e);
    }
    o += first ? "{\"title\":" : ",{\"title\":";
    first = false;
    json_string(o, title);
    o += ",\"kind\":\"quickfix\",\"isPreferred\":true,\"diagnostics\":[";
    put_diag(o, s, d, i);
    o += "],\"edit\":{\"changes\":{";
    json_string(o, d.uri);
    o += ":[";
    for (size_t k = 0; k < fix->size(); ++k) {
      if (k > 0) o += ',';
      put_edit(o, s, d, (*fix)[k]);
    }
    o += "]}}}";
  }
  o += ']';
}

json code_actions(const server& s, doc& d, const json& params) {
  std::string o;
  put_code_actions(o, s, d, params);
  return json::parse(o);
}
