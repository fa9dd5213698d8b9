// The warning about a label defined inside a block, told when the block closes and its uses
// are known. Included by warn.cc, whose table holds the record.
#pragma once

#include <unordered_set>

#include "check/run.h"
#include "common/common.h"
#include "cond/cond.h"

// A label inside a block waits for the block to close: then its uses can be told apart into
// those inside the block and those outside, which a local label would no longer reach.
static bool label_in_block(check_run& c, const line_scan& s) {
  if (c.open.empty()) return false;
  // A label needs a ":", which few other lines have.
  if (s.body.find(':') == std::string_view::npos) return false;
  const std::string_view label = label_of(s.body);
  if (label.empty() || label[0] == '.') return false;
  const opened& top = c.open.back();
  if (!c.on(wname::label_in_block)) return false;
  if (c.folded > 0) return true;  // told of already, by the warning of the block's missing end
  label_wait l;
  l.block = top.line;
  l.block_depth = top.depth;
  l.block_src = top.open_src;
  l.line = c.ln;
  l.src = c.line;
  l.label = label;
  l.b = top;
  ++c.holds;
  l.at = c.slot();
  c.labels.push_back(l);
  return true;
}

// The label's warning, when its block closes, says where the block should end.
static constexpr warning_rec label_in_block_w = {
    wname::label_in_block, "label-in-block", on(looks_at::plain), label_in_block,
    "while ecx != 0\n& dec ecx\nnext:\nend\n",
    "while ecx != 0\n.next:\n& dec ecx\nend\n",
    set_of(wname::missing_end),
    "A label inside a block splits NASM's local labels of the block into two scopes."};

// Where each line of the text starts, and every place where a name that the text defines as a
// label stands as a word of its own: made once, on the first call, for all labels together.
// Looked for one label at a time through the whole text, 50,000 labels in one block took six
// minutes; this way, a tenth of a second.
static void index_labels(check_run& c) {
  if (c.labels_indexed) return;
  c.labels_indexed = true;
  std::unordered_set<std::string_view> defined;
  // A text that ends in a line end has one more, empty, line: the translation has it too.
  for (size_t pos = 0;;) {
    c.line_starts.push_back(pos);
    const size_t from = pos;
    const line_scan s = scan_line(next_line(c.text, pos));
    if (s.kind == stmt::plain && s.body.find(':') != std::string_view::npos)
      if (const std::string_view name = label_of(s.body); !name.empty()) defined.insert(name);
    if (from == c.text.size() || c.text[pos - 1] != '\n') break;
  }
  const std::string_view t = c.text;
  for (size_t i = 0; i < t.size();) {
    if (!ident_byte(t[i])) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < t.size() && ident_byte(t[j])) ++j;
    const std::string_view w = t.substr(i, j - i);
    if (defined.count(w)) c.label_words[w].push_back(i);
    i = j;
  }
}

// The places of the label `name` (one the text defines) as a word of its own, in order.
static const std::vector<size_t>& uses_of(check_run& c, std::string_view name) {
  index_labels(c);
  static const std::vector<size_t> none;
  const auto it = c.label_words.find(name);
  return it == c.label_words.end() ? none : it->second;
}

// The line (0-based) of byte `p` of the text, once index_labels has run.
static int64_t line_of(const check_run& c, size_t p) {
  return std::upper_bound(c.line_starts.begin(), c.line_starts.end(), p) - c.line_starts.begin() - 1;
}

static bool entry_name(std::string_view l) {
  for (std::string_view e : {"_start", "start", "main", "_main", "WinMain", "wmain", "DllMain"})
    if (l == e) return true;
  return false;
}

// The warning of a label inside a block, now that the block closed at line `close` (-1: not
// known). True when it told that the block should end before the label: the labels after it
// in the same block follow from that.
static bool label_warning(check_run& c, const label_wait& l, int64_t close) {
  // Its uses: declared global or extern, called, or used outside the block.
  std::string use;  // the first that keeps its name: "called at line 21"
  std::vector<std::pair<int64_t, size_t>> inside;  // (line, column) of the uses inside
  for (const size_t p : uses_of(c, l.label)) {
    const int64_t u = line_of(c, p);
    if (u == l.line) continue;
    const size_t bol = c.line_starts[static_cast<size_t>(u)];
    const std::string_view before = trimx(c.text.substr(bol, p - bol));
    const line_scan us = scan_line(before);
    std::string first = lowerme(std::string(us.body.substr(0, us.body.find_first_of(" \t"))));
    if (!first.empty() && first[0] == '[') first.erase(0, 1);
    if (first == "global" || first == "extern" || first == "common")
      use = "declared " + first;
    else if (lowerme(std::string(before)).ends_with("call"))
      use = "called";
    else if (u < l.block || close < 0 || u >= close)
      use = "used";
    if (!use.empty()) {
      use += " at line " + num(u + 1);
      break;
    }
    inside.push_back({u, p - bol});
  }
  const bool entry = entry_name(l.label);
  const std::string name = quoted(l.label);
  std::vector<edit> fix;
  std::string why;
  std::string head;
  const int key = static_cast<int>(wname::label_in_block);
  if (entry || !use.empty()) {
    // Code that starts outside the block: the block should end before it.
    fix.push_back(insert_line(
        l.line, std::string(l.block_src.substr(0, scan_line(l.block_src).prefix)) + "end", c.eol));
    const bool ok = c.holds_up(l.line + 1, key, fix, why);
    // The block's missing end is this warning's: its open end is not told again.
    if (opened* b = open_block(c, l.block)) fold(c, *b);
    head = "label " + name + " is in " + named(l.b) +
           (ok ? "; put " + quoted(std::string(markers_like(l.block_src, l.block_depth)) + "end") +
                     " before it"
               : "; define it outside the block");
  } else {
    fix.push_back(edit{l.line + 1, static_cast<size_t>(l.label.data() - l.src.data()) + 1,
                       static_cast<size_t>(l.label.data() - l.src.data()) + 1, "."});
    for (const auto& [u, col] : inside) fix.push_back(edit{u + 1, col + 1, col + 1, "."});
    const bool ok = c.holds_up(l.line + 1, key, fix, why);
    head = "label " + name + " in a block splits NASM's local labels" +
           (ok ? "; write " + quoted("." + std::string(l.label)) : "");
  }
  std::vector<diag> ds;
  c.into = &ds;
  diag d = c.make(level::warning, l.line, l.src, static_cast<size_t>(l.label.data() - l.src.data()) + 1,
                  l.label.size(), head);
  d.name = key;
  d.fix = fix;
  ++c.res.warnings;
  c.put(std::move(d));
  std::string t = "NASM starts a new scope of local labels at it: the block's labels after it are "
                  "not found by its jumps before it";
  if (entry) t += "; " + name + " starts the program, and must keep its name";
  else if (!use.empty()) t += "; it is " + use + ", so it must keep its name";
  c.say(std::move(t));
  why_not(c, entry || !use.empty() ? "an end before it" : quoted("." + std::string(l.label)), why);
  note_opened(c, l.b);
  c.into = nullptr;
  c.slots[l.at] = std::move(ds);
  return entry || !use.empty();
}

[[gnu::noinline]] void settle_labels(check_run& c, bool all, int64_t close) {
  if (c.labels.empty()) return;
  // Sets, not lists: at the end of the input every block may end at once, with a label in each.
  const std::unordered_set<int64_t> ended(c.ended.begin(), c.ended.end());
  std::unordered_set<int64_t> told;  // blocks that should have ended before a label
  size_t kept = 0;
  for (size_t i = 0; i < c.labels.size(); ++i) {
    const label_wait& l = c.labels[i];
    const bool is_ended = ended.count(l.block) > 0;
    if (!all && !is_ended) {
      c.labels[kept++] = l;
      continue;
    }
    if (!told.count(l.block) && label_warning(c, l, is_ended ? c.ln : close)) told.insert(l.block);
    --c.holds;
  }
  c.labels.resize(kept);
  c.release();
}
