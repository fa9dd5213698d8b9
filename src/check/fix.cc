// Suggestions as edits: made on the text as an editor makes them, and checked by running the
// core on the changed text before they are offered.
#include <algorithm>
#include <cstdint>

#include "check/run.h"
#include "common/common.h"
#include "scan/scan.h"

std::string apply_fix(std::string_view text, std::span<const edit> fix) {
  // Where each line starts and where its text ends, as the core cuts the lines, up to the last
  // line an edit reaches: the suggestions of a large file are checked one by one, and cutting
  // the rest of the text for each cost nestasm-check 45 million instructions on the 10 MiB mix
  // (1,833 M against 1,788 M, callgrind).
  int64_t last = 0;
  for (const edit& e : fix) last = std::max({last, e.line, e.end_line});
  std::vector<std::pair<size_t, size_t>> lines;
  for (size_t pos = 0; pos < text.size() && static_cast<int64_t>(lines.size()) < last;) {
    const size_t b = pos;
    lines.push_back({b, b + next_line(text, pos).size()});
  }
  const auto at = [&](int64_t line, size_t col) -> size_t {
    if (line < 1 || static_cast<size_t>(line) > lines.size()) return text.size();
    const auto [b, e] = lines[static_cast<size_t>(line - 1)];
    return b + std::min(col > 0 ? col - 1 : 0, e - b);
  };
  std::vector<std::pair<size_t, size_t>> spans;  // [from, to) of each edit, in the order given
  for (const edit& e : fix) {
    const size_t from = at(e.line, e.col);
    spans.push_back({from, std::max(from, at(e.end_line ? e.end_line : e.line, e.end_col))});
  }
  std::vector<size_t> order(fix.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return spans[a].first < spans[b].first; });
  std::string out;
  out.reserve(text.size() + 64);
  size_t done = 0;
  for (size_t i : order) {
    if (spans[i].first < done) continue;  // overlaps the one before
    out.append(text.substr(done, spans[i].first - done));
    out += fix[i].text;
    done = spans[i].second;
  }
  out.append(text.substr(done));
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
  translation_state s = set_aside();
  ~aside() { put_back(std::move(s)); }
};

// The errors and warnings the core finds in `text`, and the line it stops at (-1: none).
int64_t check_keys(std::string_view text, const check_opts& o, keys& out) {
  check_opts n;
  n.off = o.off;
  n.fixes = false;  // a suggestion's own suggestions are not asked for
  // NASM's options decide the same %if branches in the changed text.
  n.nasm_args = o.nasm_args;
  n.nasm_cwd = o.nasm_cwd;
  n.nasm_known = o.nasm_known;
  return check_text(text, n, collect_key, &out).stop;
}

std::string what_of(int what) {
  if (what < 0) return quoted(trimx(message(-what)));
  return "[" + std::string(name_of(static_cast<wname>(what))) + "]";
}

}  // namespace

// Checking a suggestion runs the whole text through the core once more, and the first one the
// text as it is: about 5 ms a MiB on the build machine (mix100 without its printing). Past 8 MiB
// and twice the file's size checked again, further suggestions are not offered: a file of 10 KiB
// gets some 800, and a large one with a mistake on every few lines takes at most about three
// times as long as its check.
constexpr size_t check_budget = size_t{8} << 20;

[[gnu::noinline]] bool check_run::holds_up(int64_t at, int what, std::vector<edit>& fix, std::string& why) {
  why.clear();
  failed = {0, 0};
  fix_stop = -1;
  then.clear();
  if (fix.empty()) return false;
  if (!o.fixes || (o.fixes_on && !std::binary_search(o.fixes_on->begin(), o.fixes_on->end(), at))) {
    // Left for later: a check that asks for this line's suggestions makes the same diagnostic
    // again, and checks them there.
    res.unchecked.push_back(at);
    fix.clear();
    return false;
  }
  const size_t cost = text.size() + 256;
  if (spent + cost * (base_made ? 1 : 2) > check_budget + 2 * text.size()) {
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
  const int64_t stop = check_keys(changed, o, got);
  spent += cost;

  // Lines of the changed text back to the lines they were: an edit that removes m whole lines
  // at line L and puts k in their place makes the lines after it move by m - k, and its own
  // lines are lines that were not there (0).
  struct span {
    int64_t line, removed, added;
  };
  std::vector<span> moves;
  for (const edit& e : fix) {
    int64_t nl = 0;
    for (char ch : e.text) nl += ch == '\n';
    const int64_t gone = e.end_line > e.line ? e.end_line - e.line : 0;
    if (nl > 0 || gone > 0) moves.push_back({e.line, gone, nl});
  }
  std::sort(moves.begin(), moves.end(), [](const span& a, const span& b) { return a.line < b.line; });
  const auto back = [&](int64_t l) -> int64_t {
    int64_t delta = 0;  // a line of the changed text past the edits so far was line l + delta
    for (const span& m : moves) {
      const int64_t from = m.line - delta;
      if (l < from) break;
      if (l < from + m.added) return 0;
      delta += m.removed - m.added;
    }
    return l + delta;
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
  // A fix that leaves every line it touches the same kind of line at the same depth cannot open,
  // close or move a block: an error it lets the translation reach further down was there all
  // along, behind the one it mends, and does not withhold it.
  bool same_shape = moves.empty();
  for (const edit& e : fix) {
    if (!same_shape) break;
    for (int64_t l = e.line; same_shape && l <= std::max(e.line, e.end_line); ++l) {
      const auto line_of = [](std::string_view t, int64_t n) {
        size_t pos = 0;
        std::string_view got;
        for (int64_t i = 0; i < n && pos < t.size(); ++i) got = next_line(t, pos);
        return got;
      };
      const line_scan was = scan_line(line_of(text, l)), is = scan_line(line_of(changed, l));
      same_shape = was.kind == is.kind && was.depth == is.depth;
    }
  }
  // What the changed text draws that the text as it is did not, less the diagnostic it mends.
  size_t b = 0;
  for (const key& g : now) {
    while (b < base.size() && base[b] < g) ++b;
    const bool same = g == key{at, what};
    if (!same && g.first != 0 && b < base.size() && base[b] == g) {
      ++b;
      continue;
    }
    if (!same && same_shape && g.second < 0 && g.first > at && base_stop >= 0 &&
        base_stop + 1 <= at) {
      then = "with it, nestasm goes on to line " + num(g.first) + " and stops there: " +
             what_of(g.second);
      break;
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
  fix_stop = stop < 0 ? -1 : back(stop + 1);
  return true;
}
