// The warnings of nestasm-check: lines nestasm accepts that almost certainly do not mean what
// they say. One check and one record each; the record's examples are run by check_test. A
// headline says what is wrong and, when it fits, what to write; a note goes on with why.
#include <algorithm>
#include <array>
#include <unordered_set>

#include "check/run.h"
#include "common/common.h"
#include "cond/cond.h"

// An edit of this line: bytes [col, col + len) become `text`.
static edit here(const check_run& c, size_t col, size_t len, std::string text) {
  return edit{c.ln + 1, col, col + len, std::move(text)};
}

static std::string_view word_of(const line_scan& s) { return s.body.substr(0, s.word); }

// The condition of this line split as the translator splits it: made once a line, for all the
// checks that look at it.
static const cond_split& split_of(check_run& c, const line_scan& s) {
  if (c.split_ln == c.ln) return c.split;
  c.split_ln = c.ln;
  c.split = {};
  const std::optional<op_hit> hit = find_op(s.arg);
  if (hit) {
    c.split.op = &ops[hit->op];
    c.split.at = hit->at;
    c.split.lhs = trimx(s.arg.substr(0, hit->at));
    c.split.rhs = trimx(s.arg.substr(hit->at + c.split.op->text.size()));
  }
  return c.split;
}

using split = cond_split;

// A condition decided now makes no cmp, so what NASM would make of one does not matter.
static bool decided(const split& p) {
  bool truth = false;
  return constcmp(p.lhs, p.op->text, p.rhs, truth) != konst::no;
}

// The condition turned round, `rhs mirror lhs`, in place of the condition of this line; a
// comment after it stays where it is.
static edit mirrored(const check_run& c, const split& p) {
  const size_t semi = comment_at(p.rhs);
  const std::string_view rhs = trimx(p.rhs.substr(0, semi));
  const size_t from = c.col(p.lhs);
  const size_t to = c.col(rhs) + rhs.size();
  return here(c, from, to - from,
              std::string(rhs) + " " + std::string(p.op->mirror) + " " + std::string(p.lhs));
}

// "`WORD NEW`": the statement as it would read with its condition `cond`.
static std::string with_cond(const line_scan& s, std::string_view cond) {
  return quoted(std::string(word_of(s)) + " " + std::string(cond));
}

// The suggestion `fix` for the warning `w` on this line, checked: true when it holds; else `fix`
// is emptied and `why` says what it would do.
static bool offer(check_run& c, wname w, std::vector<edit>& fix, std::string& why) {
  return c.holds_up(c.ln + 1, static_cast<int>(w), fix, why);
}

// After the warning: why the suggestion was not offered, when it was checked and failed.
static void why_not(check_run& c, std::string_view what, const std::string& why) {
  if (!why.empty()) c.say(std::string(what) + " would not do: " + why);
}

// --- after a line that closed blocks by its depth ---------------------------------------------

// The next line that is not blank has come, with `s.depth` markers: each waiting line that
// closed a block opened with fewer markers than that was meant to leave it open.
static bool closed_by_line(check_run& c, const line_scan& s) {
  const int64_t depth = s.depth;
  std::vector<waiting> w;
  w.swap(c.pending);
  // From the last, so that inserting a warning leaves the places of the earlier ones as they are.
  for (size_t i = w.size(); i-- > 0;) {
    const waiting& p = w[i];
    const opened* b = nullptr;
    for (size_t k = p.from; k < p.to; ++k)
      if (c.gone[k].depth < depth) {
        b = &c.gone[k];
        break;
      }
    if (!b || !c.on(wname::closed_by_line)) continue;
    const char* what = p.how == closed_by::blank     ? "this blank line"
                       : p.how == closed_by::comment ? "this comment"
                                                     : "this line";
    // A plain line gets the markers of the line after it, which stays in the block.
    std::vector<edit> fix;
    std::string why;
    // A plain line gets the markers of the line after it, which stays in the block; a blank
    // line goes.
    if (p.how == closed_by::line) {
      fix.push_back(
          edit{p.line + 1, 1, marker_run(p.src) + 1, std::string(c.line.substr(0, s.prefix))});
    } else if (p.how == closed_by::blank) {
      fix.push_back(remove_line(p.line));
    } else {
      fix = comment_up(c.text, p.line, p.src);
    }
    c.holds_up(p.line + 1, static_cast<int>(wname::closed_by_line), fix, why);
    std::vector<diag> ds;
    c.into = &ds;
    diag d = c.make(level::warning, p.line, p.src, 1, p.src.empty() ? 1 : p.src.size(),
                    std::string(what) + " ends " + named(*b) + " early" +
                        (fix.empty()                     ? ""
                         : p.how == closed_by::blank   ? "; remove it"
                         : p.how == closed_by::comment
                             ? "; move it to the end of line " + num(p.line)
                                                       : "; give it " + markers(depth)));
    d.name = static_cast<int>(wname::closed_by_line);
    d.fix = fix;
    ++c.res.warnings;
    c.put(std::move(d));
    std::string t = "a line closes the blocks opened with more markers than its own: this one has " +
                    markers(p.depth) + ", " + named(*b) + " has " + num(b->depth) + ", and line " +
                    num(c.ln + 1) + ", meant to be in it, has " + num(depth);
    if (p.how == closed_by::blank && fix.empty()) t += "; remove the blank line";
    else if (p.how == closed_by::comment && fix.empty())
      t += "; move the comment after an instruction";
    c.say(std::move(t));
    why_not(c,
            p.how == closed_by::blank     ? "removing it"
            : p.how == closed_by::comment ? "moving it to the end of line " + num(p.line)
                                          : "giving it " + markers(depth),
            why);
    note_opened(c, *b);
    c.into = nullptr;
    c.held.insert(c.held.begin() + static_cast<std::ptrdiff_t>(p.at),
                  std::make_move_iterator(ds.begin()), std::make_move_iterator(ds.end()));
  }
  w.clear();
  w.swap(c.pending);  // keeps its room for the next time
  c.gone.clear();
  c.release();
  return false;
}

// --- plain lines ----------------------------------------------------------------------------

[[gnu::noinline]] static bool continued_markers_(check_run& c, const line_scan& s) {
  // NASM joins this line to a directive's: the "&" are its operators, which nestasm strips.
  const size_t amp = c.line.find('&');
  std::vector<edit> fix = {here(c, 1, amp, "\t")};
  std::string why;
  const bool ok = c.on(wname::continued_markers) && offer(c, wname::continued_markers, fix, why);
  std::string_view ops_text = c.line.substr(amp, s.prefix - amp);
  ops_text = trimx(ops_text);
  if (!c.warn(wname::continued_markers, amp + 1, s.prefix - amp,
              "nestasm strips NASM's " + quoted(ops_text) + " here as markers" +
                  (ok ? "; start the line with a tab" : ""),
              fix))
    return true;
  c.say("line " + num(c.cont_from + 1) + " ends in " + quoted("\\") +
        ", and NASM joins this line to it; a tab before " + quoted("&") +
        " ends the markers, and keeps them for NASM");
  why_not(c, "a tab", why);
  return true;
}

static bool continued_markers(check_run& c, const line_scan& s) {
  if (!c.cont || !c.cont_dir || s.depth == 0) return false;
  return continued_markers_(c, s);
}

static bool tab_before_marker(check_run& c, const line_scan& s) {
  // Markers after a tab are text; on a line NASM joins to the one before, they are its own.
  if (s.body[0] != '&' || c.cont) return false;
  int64_t more = 0;
  size_t end = s.prefix;
  for (; end < c.line.size(); ++end) {
    const char ch = c.line[end];
    if (ch == '&') ++more;
    else if (ch != ' ' && ch != '\t') break;
  }
  // Spaces for the tabs among the markers.
  std::vector<edit> fix;
  for (size_t i = 0; i < end; ++i)
    if (c.line[i] == '\t') fix.push_back(here(c, i + 1, 1, " "));
  std::string why;
  const bool ok = c.on(wname::tab_before_marker) && offer(c, wname::tab_before_marker, fix, why);
  if (!c.warn(wname::tab_before_marker, s.prefix + 1, 1,
              "a tab ends the markers: this line has " +
                  (s.depth ? num(s.depth) : std::string("none")) + ", not " + num(s.depth + more) +
                  (ok ? "; use spaces" : ""),
              fix))
    return false;
  c.say("the " + quoted("&") + " after the tab reach NASM as text: " + quoted(s.body));
  why_not(c, "spaces", why);
  return false;
}

static bool not_a_statement(check_run& c, const line_scan& s) {
  // Only a word that starts with one of these can be taken for a statement.
  switch (s.body[0] | 0x20) {
    case 'e': case 'f': case 'i': case 'w': case '}': break;
    default: return false;
  }
  // NASM skips the text; C's "}" there is none of nestasm's business.
  if (skipped(c)) return false;
  size_t wl = 0;
  while (wl < s.body.size() && s.body[wl] != ' ' && s.body[wl] != '\t') ++wl;
  const std::string_view word = s.body.substr(0, wl);
  const std::string_view meant = meant_statement(word);
  if (meant.empty()) return false;
  // The block it was meant to end stays open: what follows from that is told here, once.
  opened* still = meant == "end" && !c.open.empty() ? &c.open.back() : nullptr;
  if (still) fold(c, *still);
  if (!c.on(wname::not_a_statement)) return false;
  const size_t paren = word.find('(');
  std::vector<edit> fix;
  std::string rewrite;
  if (paren == std::string_view::npos) {
    fix.push_back(here(c, c.col(s.body), wl, std::string(meant)));
    rewrite = std::string(meant);
  } else if (s.body.back() == ')') {
    // "if(eax==1)": a blank after the keyword, and no parentheses.
    const std::string_view cond = trimx(s.body.substr(paren + 1, s.body.size() - paren - 2));
    fix.push_back(here(c, c.col(s.body), s.body.size(), std::string(meant) + " " + std::string(cond)));
    rewrite = std::string(meant) + " " + std::string(cond);
  }
  std::string why;
  const bool ok = offer(c, wname::not_a_statement, fix, why);
  c.warn(wname::not_a_statement, c.col(s.body), word.size(),
         quoted(word) + " is no statement of nestasm" + (ok ? "; write " + quoted(rewrite) : ""),
         fix);
  c.say("the line reaches NASM as it stands");
  if (paren != std::string_view::npos)
    c.say("a keyword needs a blank after it, and a condition takes no parentheses");
  if (still) c.say("so " + named(*still) + " is still open after it, with the lines that follow");
  why_not(c, quoted(rewrite), why);
  // One thing to say about a line: a line that is no statement is not also told that it stays
  // inside its block.
  return true;
}

[[gnu::noinline]] static bool keyword_label_(check_run& c, const line_scan& s) {
  const std::string_view label = label_of(s.body);
  std::string lw = lowerme(std::string(label));
  const opened& top = c.open.back();
  if (top.depth != s.depth) return false;
  if (!(lw == "end" || (lw == "else" && top.kind == if_blk))) return false;
  if (!c.on(wname::keyword_label)) return true;
  std::vector<edit> fix = {here(c, c.col(label) + label.size(), 1, "")};
  std::string why;
  const bool ok = offer(c, wname::keyword_label, fix, why);
  c.warn(wname::keyword_label, c.col(label), label.size() + 1,
         quoted(std::string(label) + ":") + " is a label to NASM, not the statement " +
             quoted(lw) + (ok ? "; drop the " + quoted(":") : ""),
         fix);
  why_not(c, "dropping the " + quoted(":"), why);
  return true;
}

static bool keyword_label(check_run& c, const line_scan& s) {
  // "else:" and "end:" are labels to NASM, where the statement would have been accepted.
  if (c.open.empty() || (s.body[0] | 0x20) != 'e') return false;
  return keyword_label_(c, s);
}

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

// The open block opened at line `line`, or null. The open blocks were opened in the order they
// stand in, so they are sought by halves: a look through all of them for each warning took 10 s
// on 50,000 nested blocks.
static opened* open_block(check_run& c, int64_t line) {
  const auto b = std::lower_bound(c.open.begin(), c.open.end(), line,
                                  [](const opened& o, int64_t l) { return o.line < l; });
  return b != c.open.end() && b->line == line ? &*b : nullptr;
}

// Where each line of the text starts, and every place where a name that the text defines as a
// label stands as a word of its own: made once, on the first call, for all labels together.
// Looked for one label at a time through the whole text, 50,000 labels in one block took six
// minutes; this way, a tenth of a second.
static void index_labels(check_run& c) {
  if (c.labels_indexed) return;
  c.labels_indexed = true;
  std::unordered_set<std::string_view> defined;
  for (size_t pos = 0;;) {
    c.line_starts.push_back(pos);
    const size_t nl = c.text.find('\n', pos);
    std::string_view l = c.text.substr(pos, (nl == std::string_view::npos ? c.text.size() : nl) - pos);
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    const line_scan s = scan_line(l);
    if (s.kind == stmt::plain && s.body.find(':') != std::string_view::npos)
      if (const std::string_view name = label_of(s.body); !name.empty()) defined.insert(name);
    if (nl == std::string_view::npos) break;
    pos = nl + 1;
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

// The end of the block `top` before this line: the line inserted, written as its opening line
// writes its markers.
static edit end_before(const check_run& c, const opened& top) {
  return insert_line(c.ln, std::string(top.open_src.substr(0, scan_line(top.open_src).prefix)) + "end",
                     c.eol);
}

// The line of the text after `from` (a view into it) that is neither blank nor a comment;
// empty at the end.
static std::string_view next_code(std::string_view text, std::string_view from) {
  size_t pos = static_cast<size_t>(from.data() - text.data()) + from.size();
  while (pos < text.size()) {
    const size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) return {};
    pos = nl + 1;
    const size_t e = std::min(text.find('\n', pos), text.size());
    const std::string_view l = text.substr(pos, e - pos);
    if (scan_line(l).kind != stmt::blank) return l;
  }
  return {};
}

// Line `at` (1-based) of the text.
static std::string_view text_line(std::string_view text, int64_t at) {
  size_t pos = 0;
  for (int64_t i = 1; i < at && pos < text.size(); ++i) {
    const size_t nl = text.find('\n', pos);
    pos = nl == std::string_view::npos ? text.size() : nl + 1;
  }
  std::string_view l = text.substr(pos, std::min(text.find('\n', pos), text.size()) - pos);
  if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
  return l;
}

[[gnu::noinline]] static bool missing_end_(check_run& c, const line_scan& s, const opened top) {
  const bool stmt_line = s.kind != stmt::plain;
  if (!stmt_line) {
    // A label alone may stand at any depth: where it lies tells nothing.
    const std::string_view label = label_of(s.body);
    if (!label.empty()) {
      const std::string_view rest = trimx(s.body.substr(label.size() + 1));
      if (rest.empty() || rest[0] == ';') return false;
    }
  }
  if (!c.on(wname::missing_end)) return false;
  const std::string end = quoted(std::string(markers_like(top.open_src, top.depth)) + "end");
  std::vector<edit> fix;
  std::string why, advice, tried;
  // A plain line between lines deeper than it is a line short of markers; before lines of its
  // own depth, it is the first line after the block, which lost its end.
  const line_scan next = scan_line(next_code(c.text, c.line));
  const bool short_of = !stmt_line && next.kind != stmt::blank && next.depth > top.depth;
  if (short_of) {
    fix = {here(c, 1, marker_run(c.line), markers_like(top.open_src, next.depth))};
    advice = "; give it " + markers(next.depth);
    tried = "giving it " + markers(next.depth);
  } else {
    fix = {end_before(c, top)};
    advice = "; put " + end + " before it";
    tried = "an " + end + " before it";
  }
  bool ok = offer(c, wname::missing_end, fix, why);
  if (ok && stmt_line && c.fix_stop > 0) {
    // The translation still stops further down: the statement may be meant inside the block,
    // as its own lines say when they carry the block's depth and more. Offered instead when
    // the translation then gets further.
    const int64_t stop = c.fix_stop;
    std::vector<edit> in = {
        here(c, 1, marker_run(c.line), markers_like(top.open_src, top.depth + 1))};
    std::string why2;
    if (offer(c, wname::missing_end, in, why2) && (c.fix_stop < 0 || c.fix_stop > stop)) {
      fix = std::move(in);
      advice = "; give it " + markers(top.depth + 1);
    }
  }
  if (!ok && !short_of && c.failed.second == -static_cast<int>(st::end_bad) &&
      c.failed.first > c.ln + 1) {
    // The end meant for the block stands further down, where it is one too many: moved here.
    const int64_t at = c.failed.first;
    const std::string_view l = text_line(c.text, at);
    const line_scan ls = scan_line(l);
    if (ls.kind == stmt::end && ls.depth == top.depth) {
      std::string why2;
      fix = {end_before(c, top), remove_line(at - 1)};
      ok = offer(c, wname::missing_end, fix, why2);
      if (ok) advice = "; move line " + num(at) + "'s " + quoted(trimx(l)) + " above it";
    }
  }
  c.warn(wname::missing_end, c.col(s.body), stmt_line ? s.word : s.body.size(),
         (stmt_line ? "this " + quoted(lowerme(std::string(word_of(s)))) + " opens in "
                    : std::string("this line stays in ")) +
             named(top) + (ok ? advice : ""),
         fix);
  c.say("it has as many markers as the block (" + num(top.depth) +
        ") and closes nothing, while the block's lines so far have more");
  if (!ok) why_not(c, tried, why);
  note_opened(c, top);
  // Warnings that follow from the block staying open are this one's.
  if (opened* b = open_block(c, top.line)) fold(c, *b);
  // A statement's condition has its own checks still to come.
  return !stmt_line;
}

static bool missing_end(check_run& c, const line_scan& s) {
  if (s.kind != stmt::plain) return c.nests && missing_end_(c, s, c.inside);
  if (c.open.empty() || !c.now.empty()) return false;
  const opened& top = c.open.back();
  if (top.depth != s.depth || !top.deeper || top.flat || top.folded) return false;
  return missing_end_(c, s, top);
}

// --- conditions -----------------------------------------------------------------------------

[[gnu::noinline]] static bool operator_lookalike_(check_run& c, const line_scan& s, const split& p) {
  const std::optional<lookalike> l = find_lookalike(s.arg);
  if (!l) return false;
  if (!c.on(wname::operator_lookalike)) return true;
  const size_t col = c.col(s.arg) + l->at;
  std::vector<edit> fix = {here(c, col, l->len, std::string(l->meant))};
  std::string why;
  const bool ok = offer(c, wname::operator_lookalike, fix, why);
  const std::string_view wrote = s.arg.substr(l->at, l->len);
  c.warn(wname::operator_lookalike, col, l->len,
         quoted(wrote) + " is no operator: this splits at " + quoted(p.op->text) +
             (ok ? "; write " + quoted(l->meant) : ""),
         fix);
  c.say("it compares " + quoted(p.lhs) + " with " + quoted(p.rhs));
  why_not(c, quoted(l->meant), why);
  return true;
}

static bool operator_lookalike(check_run& c, const line_scan& s) {
  if (!may_lookalike(s.arg)) return false;
  const split& p = split_of(c, s);
  if (!p.op) return false;  // nestasm stops here, and the error tells of it
  // A look-alike that leaves an operator to split at leaves a byte of it beside that one:
  // "ecx =" > "2", "eax !" == "1", "eax" == "= 1", "a" < "= b".
  const char l = p.lhs.back(), r = p.rhs[0];
  if (l != '=' && l != '<' && l != '!' && l != '>' && r != '=' && r != '>') return false;
  return operator_lookalike_(c, s, p);
}

[[gnu::noinline]] static bool compound_condition_(check_run& c, const line_scan& s, const split& p) {
  const std::optional<joint> j = find_joint(s.arg);
  if (!j) return false;
  const std::string_view how = s.arg.substr(j->at, j->len);
  const bool all = how[0] == '&' || (how[0] | 0x20) == 'a';
  if (!c.warn(wname::compound_condition, c.col(s.arg) + j->at, j->len,
              "one comparison per condition: " + quoted(how) + " joins two; " +
                  (all ? "nest two ifs" : "use an elif")))
    return true;
  const std::string_view left = trimx(s.arg.substr(0, j->at));
  const std::string_view right = trimx(s.arg.substr(j->at + j->len));
  if (all)
    c.say("write " + quoted("if " + std::string(left)) + ", then one marker deeper " +
          quoted("if " + std::string(right)) + " around the body");
  else
    c.say("write the body under " + quoted("if " + std::string(left)) + " and again under " +
          quoted("elif " + std::string(right)));
  c.say("as it is, the condition splits at " + quoted(p.op->text) + ": it compares " +
        quoted(p.lhs) + " with " + quoted(p.rhs));
  return true;
}

static bool compound_condition(check_run& c, const line_scan& s) {
  if (!may_join(s.arg) || !split_of(c, s).op) return false;
  return compound_condition_(c, s, split_of(c, s));
}

static bool foreign_syntax(check_run& c, const line_scan& s) {
  if (!may_be_foreign(s.arg)) return false;
  const foreign g = find_foreign(s.arg);
  if (g.what.empty()) return false;
  if (!split_of(c, s).op) return false;
  if (!c.on(wname::foreign_syntax)) return true;
  const size_t semi = comment_at(s.arg);
  const std::string_view cond = trimx(s.arg.substr(0, semi));
  std::vector<edit> fix = {here(c, c.col(cond), cond.size(), std::string(g.bare))};
  std::string why;
  const bool ok = offer(c, wname::foreign_syntax, fix, why);
  c.warn(wname::foreign_syntax, c.col(cond), cond.size(),
         (g.what.starts_with("parentheses") ? "the " + std::string(g.what) + " reach the cmp"
                                            : "the " + std::string(g.what) + " reaches the cmp") +
             (ok ? "; write " + with_cond(s, g.bare) : ""),
         fix);
  c.say("nestasm takes the text after the keyword as the condition, to the end of the line; "
        "the depth markers, not braces or colons, make the block");
  why_not(c, with_cond(s, g.bare), why);
  return true;
}

static bool comment_in_condition(check_run& c, const line_scan& s) {
  if (s.arg.find(';') == std::string_view::npos) return false;
  const split& p = split_of(c, s);
  if (!p.op) return false;
  const size_t comment = comment_at(s.arg);
  if (comment == std::string_view::npos || comment >= p.at) return false;
  if (!c.on(wname::comment_in_condition)) return true;
  // The comment on a line of its own before this one, without markers.
  const std::string_view text = trimx(s.arg.substr(comment));
  const size_t cut = c.col(trimx(s.arg.substr(0, comment))) + trimx(s.arg.substr(0, comment)).size();
  std::vector<edit> fix = {insert_line(c.ln, std::string(text), c.eol),
                           here(c, cut, c.line.size() + 1 - cut, "")};
  std::string why;
  const bool ok = offer(c, wname::comment_in_condition, fix, why);
  // A condition split in the wrong place is the one thing to say about it.
  c.warn(wname::comment_in_condition, c.col(s.arg) + p.at, p.op->text.size(),
         "this splits at the " + quoted(p.op->text) + " in the comment" +
             (ok ? "; move the comment up" : ""),
         fix);
  c.say("it compares " + quoted(p.lhs) + " with " + quoted(p.rhs));
  if (ok) c.say("on a line of its own before this one, the comment leaves the condition alone");
  why_not(c, "the comment on a line of its own", why);
  return true;
}

static bool operator_in_name(check_run& c, const line_scan& s) {
  // Only the word operators can stand inside a name, and they are capitals.
  if (s.arg.find('U') == std::string_view::npos) return false;
  const split& p = split_of(c, s);
  if (!p.op || !p.op->unsig) return false;
  size_t b = p.at, e = p.at + p.op->text.size();
  while (b > 0 && ident_byte(s.arg[b - 1])) --b;
  while (e < s.arg.size() && ident_byte(s.arg[e])) ++e;
  if (b == p.at && e == p.at + p.op->text.size()) return false;
  if (!c.on(wname::operator_in_name)) return true;
  const std::string_view name = s.arg.substr(b, e - b);
  // Another operator outside the name is the one meant.
  std::optional<op_hit> other = find_op(s.arg.substr(0, b));
  if (!other) {
    other = find_op(s.arg.substr(e));
    if (other) other->at += e;
  }
  if (other) {
    c.warn(wname::operator_in_name, c.col(s.arg) + p.at, p.op->text.size(),
           "this splits at the " + quoted(p.op->text) + " in " + quoted(name) + ", not at " +
               quoted(ops[other->op].text));
    c.say("nestasm tries == != >= <= UGT UGE ULT ULE before > and <; rename " + quoted(name) +
          " so that it holds none of them");
    return true;
  }
  // The operator meant, written against its operands: blanks around it.
  const size_t col = c.col(s.arg) + p.at;
  std::vector<edit> fix;
  if (p.at > b) fix.push_back(here(c, col, 0, " "));
  if (e > p.at + p.op->text.size()) fix.push_back(here(c, col + p.op->text.size(), 0, " "));
  std::string why;
  const bool ok = offer(c, wname::operator_in_name, fix, why);
  c.warn(wname::operator_in_name, col, p.op->text.size(),
         "the condition splits at " + quoted(p.op->text) + " inside " + quoted(name) +
             (ok ? "; put blanks around it" : ""),
         fix);
  c.say("it compares " + quoted(p.lhs) + " with " + quoted(p.rhs));
  why_not(c, "blanks", why);
  return true;
}

// A bare name on the left that the file defines for NASM, so nestasm cannot decide with it.
[[gnu::noinline]] static bool defined_name_(check_run& c, const line_scan& s, const split& p) {
  const std::optional<nasm_def> d = defined(c, p.lhs);
  // A name for a register or a memory operand is the lower-cased name's business.
  if (!d || d->macro) return false;
  const std::string_view v = d->value;
  if (!v.empty() && (v[0] == '[' || nasm_word(lowerme(std::string(v.substr(0, v.find_first_of(" \t[")))))))
    return false;
  if (!c.on(wname::defined_name)) return true;
  const size_t semi = comment_at(p.rhs);
  const std::string_view rhs = trimx(p.rhs.substr(0, semi));
  const bool constant = isimm2(rhs) || nasm_number(rhs) || defined(c, rhs);
  if (constant) {
    c.warn(wname::defined_name, c.col(p.lhs), p.lhs.size(),
           quoted(p.lhs) + " is NASM's (line " + num(d->line + 1) + "), no number to nestasm: use " +
               quoted("%if " + std::string(p.lhs) + " " + std::string(p.op->text) + " " +
                      std::string(rhs)));
    c.say("nestasm decides only conditions between two numbers; this one becomes " +
          quoted("cmp " + lowerme(std::string(p.lhs)) + ", " + std::string(rhs)) +
          ", which NASM rejects; NASM's " + quoted("%if") + " ... " + quoted("%endif") +
          " in place of " + quoted(lowerme(std::string(word_of(s)))) + " ... " +
          quoted("end") + " decides it when assembling");
    return true;
  }
  std::vector<edit> fix = {mirrored(c, p)};
  std::string why;
  const bool ok = offer(c, wname::defined_name, fix, why);
  const std::string turned = std::string(rhs) + " " + std::string(p.op->mirror) + " " + std::string(p.lhs);
  c.warn(wname::defined_name, c.col(p.lhs), p.lhs.size(),
         "cmp takes no constant on the left" + (ok ? "; write " + with_cond(s, turned) : ""), fix);
  c.say(quoted(p.lhs) + " is a constant NASM defines (line " + num(d->line + 1) + ")");
  why_not(c, with_cond(s, turned), why);
  return true;
}

static bool defined_name(check_run& c, const line_scan& s) {
  // A register or a size first is no bare name of the file's: most conditions start so, and
  // need not be split for it.
  size_t w = 0;
  while (w < s.arg.size() && w < 8 && ident_byte(s.arg[w])) ++w;
  if (w > 0 && w <= 7) {
    char l[8];
    for (size_t i = 0; i < w; ++i) l[i] = static_cast<char>(s.arg[i] | 0x20);
    if (nasm_word(std::string_view(l, w))) return false;
  }
  const split& p = split_of(c, s);
  if (!p.op || p.lhs.empty()) return false;
  const char f = p.lhs[0];
  if (!((f >= 'a' && f <= 'z') || (f >= 'A' && f <= 'Z') || f == '_')) return false;
  for (char ch : p.lhs)
    if (!ident_byte(ch)) return false;
  // Registers are the usual bare names; none is longer than seven bytes.
  if (p.lhs.size() <= 7) {
    char l[8];
    for (size_t i = 0; i < p.lhs.size(); ++i) l[i] = static_cast<char>(p.lhs[i] | 0x20);
    if (nasm_word(std::string_view(l, p.lhs.size()))) return false;
  }
  if (decided(p)) return false;
  return defined_name_(c, s, p);
}

static bool number_on_left(check_run& c, const line_scan& s) {
  const char f = s.arg.empty() ? ' ' : s.arg[0];
  const bool number = (f >= '0' && f <= '9') || f == '-' || f == '+' || f == '~' || f == '$' ||
                      f == '"' || f == '`';
  if (!number) return false;
  const split& p = split_of(c, s);
  if (!p.op || decided(p) || !nasm_number(p.lhs)) return false;
  if (!c.on(wname::number_on_left)) return false;
  std::vector<edit> fix = {mirrored(c, p)};
  std::string why;
  const bool ok = offer(c, wname::number_on_left, fix, why);
  const std::string turned = fix.empty() ? "" : fix[0].text;
  c.warn(wname::number_on_left, c.col(p.lhs), p.lhs.size(),
         "cmp takes no number on the left" + (ok ? "; write " + with_cond(s, turned) : ""), fix);
  c.say(quoted(p.lhs) + " is a number to NASM, but not to nestasm, which decides a condition "
        "between two numbers now and puts any other in a cmp");
  why_not(c, "turning it round", why);
  return false;
}

static bool lowered_name(check_run& c, const line_scan& s) {
  bool caps = false;
  for (char ch : s.arg) caps = caps || (ch >= 'A' && ch <= 'Z');
  if (!caps) return false;
  const split& p = split_of(c, s);
  if (!p.op || decided(p)) return false;
  const std::string_view name = capital_name(p.lhs);
  if (name.empty() || !c.on(wname::lowered_name)) return false;
  const size_t semi = comment_at(p.rhs);
  const std::string_view rhs = trimx(p.rhs.substr(0, semi));
  std::vector<edit> fix;
  if (!isimm2(rhs) && !nasm_number(rhs)) fix.push_back(mirrored(c, p));
  std::string why;
  const bool ok = offer(c, wname::lowered_name, fix, why);
  const std::string turned = std::string(rhs) + " " + std::string(p.op->mirror) + " " + std::string(p.lhs);
  c.warn(wname::lowered_name, c.col(name), name.size(),
         "the left operand is lower-cased: " + quoted(name) + " becomes " +
             quoted(lowerme(std::string(name))) + (ok ? "; write " + with_cond(s, turned) : ""),
         fix);
  if (ok) c.say("the right operand is copied as written");
  else
    c.say("NASM's names keep their case: define and use it in lower case, or load it into a "
          "register first and compare that");
  why_not(c, with_cond(s, turned), why);
  return false;
}

// --- every statement ------------------------------------------------------------------------

[[gnu::noinline]] static bool statement_macro_(check_run& c, const line_scan& s) {
  const std::string_view w = word_of(s);
  nasm_def* d = nullptr;
  for (nasm_def& x : c.defs)
    if (x.icase ? lowerme(std::string(x.name)) == lowerme(std::string(w)) : x.name == w) d = &x;
  // Once for each macro: every use of the word is the same mistake.
  if (!d || d->told) return false;
  d->told = true;
  c.warn(wname::statement_macro, c.col(s.body), s.word,
         quoted(w) + " is a macro here (line " + num(d->line + 1) + "), but nestasm reads it as " +
             quoted(lowerme(std::string(w))));
  c.say("rename the macro and its uses to a word that is none of if, elif, else, while and end");
  return true;
}

static bool statement_macro(check_run& c, const line_scan& s) {
  if (c.defs.empty()) return false;
  return statement_macro_(c, s);
}

// A statement in text NASM skips: harmless when its blocks open and close in it, not when it
// ends a block opened before, or leaves one open after.
static bool skipped_statement(check_run& c, const line_scan& s) {
  const region* r = skipped(c);
  if (!r) return false;
  if (c.open.size() < c.skip_open ||
      (c.skip_open > 0 && c.open.size() >= c.skip_open && c.open[c.skip_open - 1].branch == c.ln)) {
    c.skip_open = c.open.size();
    std::vector<edit> fix = {here(c, 1, 0, ";")};
    std::string why;
    const bool ok = offer(c, wname::skipped_statement, fix, why);
    c.warn(wname::skipped_statement, c.col(s.body), s.word,
           hides(r->src, r->line, s) + (ok ? "; put " + quoted(";") + " before it" : ""), fix);
    c.say("it ends or continues a block opened before that text, so the block's labels land "
          "where NASM does not look");
    why_not(c, "a " + quoted(";"), why);
    return true;
  }
  if ((s.kind == stmt::if_ || s.kind == stmt::while_) && c.skip_slot < 0 && c.on(wname::skipped_statement)) {
    ++c.holds;
    c.skip_slot = static_cast<int64_t>(c.slot());
  }
  return false;
}

[[gnu::noinline]] void skipped_ends(check_run& c) {
  if (c.skip_slot < 0) return;
  const size_t slot = static_cast<size_t>(c.skip_slot);
  c.skip_slot = -1;
  --c.holds;
  if (c.open.size() > c.skip_open) {
    opened& b = c.open[c.skip_open];
    const line_scan bs = scan_line(b.open_src);
    // Every statement of that text made a comment: a block opened there is often ended there.
    std::vector<edit> fix = comment_out(c, c.skip_line, c.ln);
    const bool one = fix.size() == 1;
    std::string why;
    const bool ok = c.holds_up(b.line + 1, static_cast<int>(wname::skipped_statement), fix, why);
    std::vector<diag> ds;
    c.into = &ds;
    diag d = c.make(level::warning, b.line, b.open_src, bs.prefix + 1, bs.word,
                    hides(c.skip_src, c.skip_line, bs) +
                        (ok ? one ? "; put " + quoted(";") + " before it"
                                  : "; put " + quoted(";") + " before its statements"
                            : ""));
    d.name = static_cast<int>(wname::skipped_statement);
    d.fix = fix;
    ++c.res.warnings;
    c.put(std::move(d));
    c.say("the block is still open where that text ends, " +
          (c.line.empty() ? std::string("at the end of the input")
                          : "at line " + num(c.ln + 1)) +
          ", and takes in the lines after it");
    why_not(c, "making its statements comments", why);
    c.into = nullptr;
    c.slots[slot] = std::move(ds);
    for (size_t i = c.skip_open; i < c.open.size(); ++i) fold(c, c.open[i]);
  }
  c.release();
}

[[gnu::noinline]] void at_input_end(check_run& c) {
  // Text NASM skips that runs to the end of the input ends there.
  if (c.skip_from >= 0) {
    skipped_ends(c);
    c.skip_from = -1;
  }
  run_checks(c, looks_at::input_end, line_scan{});
}

static bool open_at_end(check_run& c, const line_scan&) {
  for (const opened& b : c.open) {
    if (b.depth != 0 || b.folded || !b.flat) continue;
    const line_scan bs = scan_line(b.open_src);
    diag d = c.make(level::warning, b.line, b.open_src, bs.prefix + 1, bs.word,
                    named(b) + " has no end, and runs to the end of the file");
    d.name = static_cast<int>(wname::open_at_end);
    if (!c.on(wname::open_at_end)) return false;
    ++c.res.warnings;
    c.put(std::move(d));
    c.say("nestasm closes a block opened without markers only at its end, or after the last "
          "line, line " + num(c.ln) + "; put " + quoted("end") + " where the block should stop");
    return true;  // the ones inside it are closed with it
  }
  return false;
}

// --- else and comment lines -----------------------------------------------------------------

static bool else_text(check_run& c, const line_scan& s) {
  if (s.arg.empty() || s.arg[0] == ';') return false;
  // Text that reads as a condition, or that starts with a statement, was meant to count.
  size_t w = 0;
  while (w < s.arg.size() && s.arg[w] != ' ' && s.arg[w] != '\t') ++w;
  const std::string first = lowerme(std::string(s.arg.substr(0, w)));
  const bool stmt_word = first == "if" || first == "elif" || first == "while";
  if (!stmt_word && !find_op(s.arg)) return false;
  if (!c.on(wname::else_text)) return false;
  std::string_view cond = s.arg;
  if (first == "if" || first == "elif") cond = trimx(s.arg.substr(w));
  const size_t semi = comment_at(s.arg);
  const size_t len =
      semi == std::string_view::npos ? s.arg.size() : trimx(s.arg.substr(0, semi)).size();
  // "else if X" becomes "elif X": the words before the condition replaced.
  std::vector<edit> fix;
  if (first != "while")
    fix.push_back(here(c, c.col(s.body), c.col(cond) - c.col(s.body), "elif "));
  std::string why;
  const bool ok = offer(c, wname::else_text, fix, why);
  const std::string cut(trimx(cond.substr(0, comment_at(cond))));
  c.warn(wname::else_text, c.col(s.arg), len,
         "the text after " + quoted("else") + " is never tested" +
             (ok ? "; write " + quoted("elif " + cut) : ""),
         fix);
  c.say("an else takes no condition: this is a plain else, and " +
        quoted(s.arg.substr(0, len)) + " is ignored");
  why_not(c, quoted("elif " + cut), why);
  return false;
}

static bool marker_on_comment(check_run& c, const line_scan& s) {
  if (s.depth == 0 || !c.on(wname::marker_on_comment)) return false;
  const size_t amp = c.line.find('&');
  // The line removed, or the comment moved to the end of the instruction before it.
  std::vector<edit> fix;
  if (s.body.empty())
    fix = {remove_line(c.ln)};
  else
    fix = comment_up(c.text, c.ln, c.line);
  std::string why;
  const bool ok = offer(c, wname::marker_on_comment, fix, why);
  c.warn(wname::marker_on_comment, amp + 1, s.prefix - amp,
         std::string(s.body.empty() ? "NASM rejects a line of only markers"
                                    : "NASM rejects markers on a comment") +
             (s.body.empty() ? (ok ? "; remove it" : "")
              : ok           ? "; move it to the end of line " + num(c.ln)
                             : "; put it after an instruction"),
         fix);
  why_not(c, s.body.empty() ? "removing it" : "moving it to the end of line " + num(c.ln), why);
  return false;
}

// --- the table ------------------------------------------------------------------------------

static constexpr std::array<warning_rec, 20> table = {{
    {wname::closed_by_line, "closed-by-line", on(looks_at::next_line), closed_by_line,
     "if eax == 1\n& if ebx == 2\n& & inc eax\n\n& & inc ecx\n& end\nend\n",
     "while ecx != 0\n& if ebx == 2\n& & inc eax\n\n& dec ecx\nend\n"},
    {wname::statement_macro, "statement-macro", on(looks_at::statement), statement_macro,
     "%macro END 0\nret\n%endmacro\nif eax == 1\n& nop\nEND\n",
     "%macro END_ 0\nret\n%endmacro\nif eax == 1\n& nop\nend\n"},
    {wname::skipped_statement, "skipped-statement", on(looks_at::statement), skipped_statement,
     "%if 0\nif (x == 1) {\n%endif\nnop\n", "%if 0\nif x == 1\n& nop\nend\n%endif\nnop\n"},
    {wname::continued_markers, "continued-markers", on(looks_at::plain), continued_markers,
     "%if 1 \\\n    && 0\n%endif\n", "%if 1 \\\n\t&& 0\n%endif\n"},
    {wname::tab_before_marker, "tab-before-marker", on(looks_at::plain), tab_before_marker,
     "if eax == 1\n\t&inc eax\nend\n", "if eax == 1\n&\tinc eax\nend\n"},
    {wname::not_a_statement, "not-a-statement", on(looks_at::plain), not_a_statement,
     "if eax == 1\n& nop\nendif\n", "if eax == 1\n& endbr64\nend\n"},
    {wname::keyword_label, "keyword-label", on(looks_at::plain), keyword_label,
     "if eax == 1\n& nop\nelse:\n& nop\nend\n", "if eax == 1\n& nop\nelse\n& nop\nend\nelse:\n"},
    {wname::label_in_block, "label-in-block", on(looks_at::plain), label_in_block,
     "while ecx != 0\n& dec ecx\nnext:\nend\n", "while ecx != 0\n.next:\n& dec ecx\nend\n"},
    {wname::missing_end, "missing-end", on(looks_at::plain, looks_at::condition), missing_end,
     "if eax == 1\n& inc ebx\ninc ecx\nend\n",
     "&while ecx UGT 0\n&&if eax == 5\n&&&inc ebx\n&dec ecx\n"},
    {wname::operator_lookalike, "operator-lookalike", on(looks_at::condition), operator_lookalike,
     "if ecx => 2\nend\n", "if ecx >= 2\nend\n"},
    {wname::compound_condition, "compound-condition", on(looks_at::condition), compound_condition,
     "if al UGE 'a' && al ULE 'z'\nend\n", "if al UGE 'a'\n& if al ULE 'z'\n& end\nend\n"},
    {wname::foreign_syntax, "foreign-syntax", on(looks_at::condition), foreign_syntax,
     "if (eax == 1) {\nend\n", "if eax == (1)\nend\n"},
    {wname::comment_in_condition, "comment-in-condition", on(looks_at::condition),
     comment_in_condition, "if eax > 5 ; skip when eax == 0\nend\n",
     "if eax == 1 ; note\nend\n"},
    {wname::operator_in_name, "operator-in-name", on(looks_at::condition), operator_in_name,
     "while ecx < MAX_RESULTS\nend\n", "while ecx ULT MAX\nend\n"},
    {wname::defined_name, "defined-name", on(looks_at::condition), defined_name,
     "%define DEBUG 0\nif DEBUG == 1\nend\n", "%define DEBUG 0\nif eax == DEBUG\nend\n"},
    {wname::number_on_left, "number-on-left", on(looks_at::condition), number_on_left,
     "if 10h == eax\nend\n", "if eax == 10h\nend\n"},
    {wname::lowered_name, "lowered-name", on(looks_at::condition), lowered_name,
     "if dword [Counter] == 3\nend\n", "if DWORD [count] == 3\nend\n"},
    {wname::open_at_end, "open-at-end", on(looks_at::input_end), open_at_end,
     "while ecx != 0\ndec ecx\nret\n", "while ecx != 0\n& dec ecx\n"},
    {wname::else_text, "else-text", on(looks_at::else_line), else_text,
     "if eax == 1\nelse if eax == 2\nend\n", "if eax == 1\nelse ; the rest\nend\n"},
    {wname::marker_on_comment, "marker-on-comment", on(looks_at::blank), marker_on_comment,
     "if eax == 1\n& if ebx == 1\n&& ; note\n& end\nend\n", "if eax == 1\n& nop ; note\nend\n"},
}};

// The checks of each kind of line, in table order, made once from the table.
struct by_kind {
  bool (*check[std::size(table)])(check_run&, const line_scan&) = {};
  size_t n = 0;
};
static constexpr auto checks = [] {
  std::array<by_kind, 7> k{};
  for (const warning_rec& r : table)
    for (size_t i = 0; i < k.size(); ++i)
      if (r.on >> i & 1u) {
        by_kind& b = k[i];
        b.check[b.n++] = r.check;
      }
  return k;
}();

void run_checks(check_run& c, looks_at on, const line_scan& s) {
  const by_kind& k = checks[static_cast<size_t>(on)];
  for (size_t i = 0; i < k.n; ++i)
    if (k.check[i](c, s)) return;
}

std::span<const warning_rec> warning_table() { return table; }

// Where each wname's record stands in the table: a name is looked up for every warning printed.
static constexpr auto place = [] {
  std::array<size_t, std::size(table)> p{};
  for (size_t i = 0; i < table.size(); ++i) p[static_cast<size_t>(table[i].id)] = i;
  return p;
}();

const warning_rec& warning_of(wname w) {
  const size_t k = static_cast<size_t>(w);
  return k < place.size() ? table[place[k]] : table[0];  // every wname has its record
}

std::string_view name_of(wname w) { return warning_of(w).name; }

std::optional<wname> wname_from(std::string_view name) {
  for (const warning_rec& r : table)
    if (r.name == name) return r.id;
  return std::nullopt;
}
