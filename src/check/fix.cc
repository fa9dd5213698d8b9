// Suggestions as edits: made on the text as an editor makes them, and checked by running the
// core on the changed text before they are offered.
#include <algorithm>
#include <cstdint>
#include <deque>

#include "check/check.h"
#include "common/common.h"
#include "out/out.h"

std::string apply_fix(std::string_view text, std::span<const edit> fix) {
  std::vector<edit> es(fix.begin(), fix.end());
  std::stable_sort(es.begin(), es.end(), [](const edit& a, const edit& b) {
    return a.line != b.line ? a.line < b.line : a.col < b.col;
  });
  std::string out;
  out.reserve(text.size() + 64);
  size_t k = 0;
  size_t pos = 0;
  for (int64_t ln = 1; pos < text.size(); ++ln) {
    const size_t nl = text.find('\n', pos);
    const size_t next = nl == std::string_view::npos ? text.size() : nl + 1;
    std::string_view line = text.substr(pos, (nl == std::string_view::npos ? text.size() : nl) - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t done = 0;  // bytes of the line copied or replaced
    for (; k < es.size() && es[k].line <= ln; ++k) {
      const edit& e = es[k];
      if (e.line < ln) continue;  // cannot be: sorted
      const size_t b = std::min(e.col > 0 ? e.col - 1 : 0, line.size());
      const size_t en = std::min(std::max(e.end_col > 0 ? e.end_col - 1 : 0, b), line.size());
      if (b < done) continue;  // overlaps the one before
      out.append(line.substr(done, b - done));
      out += e.text;
      done = en;
    }
    out.append(line.substr(done));
    out.append(text.substr(pos + line.size(), next - pos - line.size()));  // its line end
    pos = next;
  }
  // Edits past the last line add to the end.
  for (; k < es.size(); ++k) out += es[k].text;
  return out;
}

namespace {

using key = std::pair<int64_t, int>;  // (line, wname or -status)

struct keys {
  std::vector<key> k;
};

void collect_key(const diag& d, void* ctx) {
  if (d.lvl == level::note) return;
  static_cast<keys*>(ctx)->k.push_back({d.line, d.lvl == level::error ? -d.status : d.name});
}

// The translator's state, put aside while the core checks another text, and put back after.
struct aside {
  std::string_view fl = file_lines;
  int64_t ln = lnum;
  int64_t lbl = lbl_n;
  int err = err_fd;
  std::deque<Bx> st;
  std::string out;
  aside() : out(out_thing.view()) { st.swap(stk); }
  ~aside() {
    file_lines = fl;
    lnum = ln;
    lbl_n = lbl;
    err_fd = err;
    stk.swap(st);
    out_thing.clear();
    char* p = out_thing.room(out.size() + 1);
    if (!out.empty()) std::copy(out.begin(), out.end(), p);
    out_thing.len = out.size();
  }
};

// The errors and warnings the core finds in `text`, and the line it stops at (-1: none).
int64_t check_keys(std::string_view text, const check_opts& o, keys& out) {
  check_opts n;
  n.off = o.off;
  n.fixes = false;  // a suggestion's own suggestions are not asked for
  return check_text(text, n, collect_key, &out).stop;
}

std::string what_of(int what) {
  if (what < 0) return quoted(trimx(message(-what)));
  return "[" + std::string(name_of(static_cast<wname>(what))) + "]";
}

}  // namespace

// Checking a suggestion runs the whole text through the core once more, and the first one the
// text as it is: about 3 ms a MiB. Past this many bytes checked in one file, further suggestions
// are not offered, so that a large file with a mistake on every few lines still checks in about
// the time of one pass (100 MiB: 0.33 s).
constexpr size_t check_budget = size_t{64} << 20;

bool check_run::holds_up(int64_t at, int what, std::vector<edit>& fix, std::string& why) {
  why.clear();
  failed = {0, 0};
  if (!o.fixes || fix.empty()) {
    fix.clear();
    return false;
  }
  const size_t cost = text.size() + 256;
  if (spent + cost * (base_made ? 1 : 2) > check_budget) {
    fix.clear();
    return false;
  }
  const std::string changed = apply_fix(text, fix);
  aside keep;
  if (!base_made) {
    keys b;
    base_stop = check_keys(text, o, b);
    base = std::move(b.k);
    std::sort(base.begin(), base.end());
    base_made = true;
    spent += cost;
  }
  keys got;
  check_keys(changed, o, got);
  spent += cost;

  // Lines of the changed text back to the lines they were: a whole line inserted before line L
  // makes L move down, and is a line of its own that was not there (0).
  std::vector<std::pair<int64_t, int64_t>> ins;  // (line, lines inserted before it)
  for (const edit& e : fix) {
    int64_t nl = 0;
    for (char ch : e.text) nl += ch == '\n';
    if (nl > 0) ins.push_back({e.line, nl});
  }
  std::sort(ins.begin(), ins.end());
  const auto back = [&](int64_t l) -> int64_t {
    int64_t shift = 0;
    for (const auto& [line, n] : ins) {
      if (l - shift < line) break;
      if (l - shift < line + n && l - shift >= line) return 0;  // an inserted line
      shift += n;
    }
    return l - shift;
  };
  // Compared up to the line where the text as it is stops: what comes after it was never seen.
  const int64_t limit = base_stop < 0 ? INT64_MAX : base_stop + 1;
  std::vector<key> now;
  // But a block left without its end, or an end without its block, shows only further down:
  // such an error counts wherever it is.
  const auto structural = [](int what) {
    return what == -static_cast<int>(st::end_bad) || what == -static_cast<int>(st::else_bad) ||
           what == -static_cast<int>(st::elif_bad);
  };
  for (const key& g : got.k) {
    const int64_t l = back(g.first);
    if ((l > limit || (l == limit && g.second >= 0)) && !structural(g.second)) continue;
    now.push_back({l, g.second});
  }
  std::sort(now.begin(), now.end());
  // What the changed text draws that the text as it is did not, less the diagnostic it mends.
  size_t b = 0;
  for (const key& g : now) {
    while (b < base.size() && base[b] < g) ++b;
    const bool same = g == key{at, what};
    if (!same && g.first != 0 && b < base.size() && base[b] == g) {
      ++b;
      continue;
    }
    if (same) {
      why = g.second < 0 ? "nestasm would still stop here" : "the same warning would stay";
    } else if (g.second < 0) {
      why = "nestasm would stop " +
            (g.first == 0 ? std::string("at the line it adds") : "at line " + num(g.first)) +
            ", " + what_of(g.second);
    } else {
      why = "it would draw " + what_of(g.second) +
            (g.first == 0 ? std::string(" on the line it adds") : " at line " + num(g.first));
    }
    failed = g;
    fix.clear();
    return false;
  }
  return true;
}
