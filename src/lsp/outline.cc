// The outline of a document (its labels and the blocks inside them) and its folds, written as
// JSON text from the lines and blocks its last check recorded.
#include <algorithm>

#include "lsp/lsp.h"

// Folds, highlights and the outline are written as JSON text, as the diagnostics are: a document
// of 50 MiB has some 700,000 blocks, and as a tree of values their outline took 1.6 GB and 19 s.
void put_folding(std::string& o, const server& s, const doc& d) {
  o += '[';
  bool first = true;
  auto fold = [&](int64_t from, int64_t to) {
    if (to <= from) return;
    o += first ? "{\"startLine\":" : ",{\"startLine\":";
    first = false;
    o += std::to_string(where(s, d, from, 0).line);
    o += ",\"endLine\":";
    o += std::to_string(where(s, d, to, std::string_view::npos).line);
    o += '}';
  };
  for (size_t i = 0; i < d.res.blocks.size(); ++i) {
    const block_info& b = d.res.blocks[i];
    // A chain with elif or else folds whole as well. It starts on the line of its first branch's
    // fold and comes first: an editor that keeps one fold for each line (VS Code) keeps the
    // chain's, one that nests them (Neovim's fold levels) keeps both.
    if (!b.branches.empty()) fold(b.open, d.res.reach[i]);
    int64_t from = b.open;
    for (size_t k = 0; k <= b.branches.size(); ++k) {
      fold(from, k < b.branches.size() ? b.branches[k] - 1 : d.res.reach[i]);
      if (k < b.branches.size()) from = b.branches[k];
    }
  }
  o += ']';
}

json folding(const server& s, const doc& d) {
  std::string o;
  put_folding(o, s, d);
  return json::parse(o);
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

static std::string block_detail(const block_info& b, int64_t reach) {
  const std::string lines = "lines " + num1(b.open) + "–";
  switch (b.close < 0 ? closed_by::input_end : b.how) {
    case closed_by::end: return lines + num1(b.close);
    case closed_by::line: return lines + num1(reach) + ", closed by line " + num1(b.close);
    case closed_by::blank:
      return lines + num1(reach) + ", closed by the blank line " + num1(b.close);
    case closed_by::comment:
      return lines + num1(reach) + ", closed by the comment on line " + num1(b.close);
    case closed_by::input_end: break;
  }
  if (b.close < 0) return lines + num1(reach) + ", open where the translation stops";
  return lines + num1(reach) + ", open to the end of the input";
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
  for (int64_t i = 0; static_cast<size_t>(i) < d.res.facts.size(); ++i) {
    const line_fact& f = d.res.facts[static_cast<size_t>(i)];
    if (f.label == 0) continue;
    const std::string_view name = line_at(d, i).substr(f.at, f.label);
    if (name[0] == '.') continue;
    if (!labels.empty()) all[labels.back()].to = i - 1;
    // A label with an instruction or data after it names that; alone, the code that follows.
    const bool data = f.body > f.label + 1;
    labels.push_back(all.size());
    top.push_back(all.size());
    all.push_back({std::string(name), "", data ? 13 : 12, i, n - 1, i, {}});
  }
  const size_t nlabels = all.size();
  const size_t first_block = all.size();
  // A block is no scope of names, so not a Namespace (3), nor a type or a function, which an
  // outline's filter for those would show among the labels. An if-chain is a choice on a truth
  // value: Boolean (17); a loop, something that happens again and again: Event (24). Both have
  // icons of their own in VS Code's outline and in Neovim's and Emacs's symbol lists.
  constexpr int if_kind = 17, while_kind = 24;
  all.reserve(all.size() + d.res.blocks.size());
  for (size_t k = 0; k < d.res.blocks.size(); ++k) {
    const block_info& b = d.res.blocks[k];
    const int64_t reach = d.res.reach[k];
    // Its own end is part of it.
    const int64_t to = b.close >= 0 && b.how == closed_by::end ? b.close : reach;
    const line_fact& f = d.res.facts[static_cast<size_t>(b.open)];
    all.push_back({std::string(line_at(d, b.open).substr(f.at, f.body)),
                   block_detail(b, reach),
                   b.kind == while_blk ? while_kind : if_kind,
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
    put_position(o, where(s, d, x.from, 0));
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
      const size_t b = fact_of(d, x.at).at;
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
