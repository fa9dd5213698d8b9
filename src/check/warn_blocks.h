// The warnings about where blocks end: a line that closes one too early, one that stays in
// one it was meant to leave, one open at the end. Included by warn.cc, whose table holds the
// records.
#pragma once

#include "check/run.h"
#include "common/common.h"
#include "cond/cond.h"

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
      // A %if closes the block, and so will its %elif, %else and %endif: they get the markers
      // too.
      for (const auto& [at, l] : region_lines(c.text, p.line, p.src))
        if (scan_line(l).depth < depth)
          fix.push_back(edit{at + 1, 1, marker_run(l) + 1, std::string(c.line.substr(0, s.prefix))});
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
    c.closed_told = c.ln;
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

// The blank line ends the inner if-block, and the line after it has the markers to be inside.
static constexpr warning_rec closed_by_line_w = {
    wname::closed_by_line, "closed-by-line", on(looks_at::next_line), closed_by_line,
    "if eax == 1\n& if ebx == 2\n& & inc eax\n\n& & inc ecx\n& end\nend\n",
    "while ecx != 0\n& if ebx == 2\n& & inc eax\n\n& dec ecx\nend\n",
    {},
    "A line closes a block by its depth, and the next line, deeper than that block, was meant to "
    "be inside it."};

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
  // The rest of `from`'s own line first: its "\r", or nothing.
  if (pos < text.size()) next_line(text, pos);
  while (pos < text.size()) {
    const std::string_view l = next_line(text, pos);
    if (scan_line(l).kind != stmt::blank) return l;
  }
  return {};
}

// Line `at` (1-based) of the text.
static std::string_view text_line(std::string_view text, int64_t at) {
  size_t pos = 0;
  for (int64_t i = 1; i < at && pos < text.size(); ++i) next_line(text, pos);
  return pos < text.size() ? next_line(text, pos) : std::string_view{};
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

// `inc ecx` has the if's own depth and closes nothing; the quiet twin is a loop's usual end.
static constexpr warning_rec missing_end_w = {
    wname::missing_end, "missing-end", on(looks_at::plain, looks_at::condition), missing_end,
    "if eax == 1\n& inc ebx\ninc ecx\nend\n",
    "&while ecx UGT 0\n&&if eax == 5\n&&&inc ebx\n&dec ecx\n",
    {},
    "A line with as many markers as the innermost open block, whose lines so far have more, stays "
    "inside it."};

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

// The lines after the while have its depth, so nothing closes it before the end.
static constexpr warning_rec open_at_end_w = {
    wname::open_at_end, "open-at-end", on(looks_at::input_end), open_at_end,
    "while ecx != 0\ndec ecx\nret\n",
    "while ecx != 0\n& dec ecx\n",
    {},
    "A block opened without markers has no `end`, and runs to the end of the file."};
