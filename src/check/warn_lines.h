// The warnings about how a line is written: its markers, and words that look like statements.
// Included by warn.cc, whose table holds the records.
#pragma once

#include "check/run.h"
#include "common/common.h"
#include "cond/cond.h"

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

// The tab leaves the line no markers; after the marker, it is a blank.
static constexpr warning_rec tab_before_marker_w = {
    wname::tab_before_marker, "tab-before-marker", on(looks_at::plain), tab_before_marker,
    "if eax == 1\n\t&inc eax\nend\n",
    "if eax == 1\n&\tinc eax\nend\n",
    {},
    "A tab ends the markers, and the `&` after it reach NASM as text."};

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

// A line that is no statement is not also told that it stays inside its block.
static constexpr warning_rec not_a_statement_w = {
    wname::not_a_statement, "not-a-statement", on(looks_at::plain), not_a_statement,
    "if eax == 1\n& nop\nendif\n",
    "if eax == 1\n& endbr64\nend\n",
    set_of(wname::keyword_label, wname::misspelt_statement, wname::label_in_block,
           wname::missing_end),
    "A first word of another language, such as `endif` or `}`, reaches NASM as it stands."};

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

// The keyword meant is the one thing to say of the line.
static constexpr warning_rec keyword_label_w = {
    wname::keyword_label, "keyword-label", on(looks_at::plain), keyword_label,
    "if eax == 1\n& nop\nelse:\n& nop\nend\n",
    "if eax == 1\n& nop\nelse\n& nop\nend\nelse:\n",
    set_of(wname::misspelt_statement, wname::label_in_block, wname::missing_end),
    "`else:` or `end:`, where the statement would have been taken, is a label to NASM."};

// The statement word as the user writes words: "WHILE" for "WHLIE", "While" for "Whlie".
static std::string in_case_of(std::string_view word, std::string_view k) {
  std::string r(k);
  const bool first_up = !word.empty() && word[0] >= 'A' && word[0] <= 'Z';
  const bool all_up = first_up && word.size() > 1 && word[1] >= 'A' && word[1] <= 'Z';
  for (size_t i = 0; i < r.size(); ++i)
    if (all_up || (first_up && i == 0)) r[i] = static_cast<char>(r[i] - 'a' + 'A');
  return r;
}

static bool misspelt_statement(check_run& c, const line_scan& s) {
  // Statement words are 2 to 5 letters: a first word of more letters is one edit from none of
  // them, and no line NASM joins to the one before or skips is read as a statement.
  size_t wl = 0, letters = 0;
  while (wl < s.body.size() && s.body[wl] != ' ' && s.body[wl] != '\t') ++wl;
  while (letters < wl && (s.body[letters] | 0x20) >= 'a' && (s.body[letters] | 0x20) <= 'z')
    ++letters;
  if (letters > 6 || c.cont || skipped(c)) return false;
  const near_word n = near_statement(s.body);
  if (n.meant.empty()) return false;
  // elif, else and end only mean something inside a block.
  if (c.open.empty() && n.meant != "if" && n.meant != "while") return false;
  const std::string_view word = s.body.substr(0, wl);
  // A macro of the file's own by that name is what NASM calls.
  for (const nasm_def& d : c.defs)
    if (d.macro && calls(d, word.substr(0, n.glued ? n.len : wl))) return false;
  opened* still = n.meant == "end" ? &c.open.back() : nullptr;
  if (still) fold(c, *still);
  std::vector<edit> fix;
  std::string rewrite;
  const size_t at = c.col(s.body);
  const auto remember = [&] {
    if (n.meant == "end" || n.meant == "else") return;
    c.slips.push_back({c.ln, s.depth, c.line, word, n.meant, fix, rewrite});
  };
  if (n.glued) {
    // The punctuation goes; a blank keeps the word apart from what followed it.
    const bool blank_next = n.len + 1 >= s.body.size() || s.body[n.len + 1] == ' ' ||
                            s.body[n.len + 1] == '\t' || s.body[n.len] == ';';
    const std::string put = s.body[n.len] == ';' ? " ;" : blank_next ? "" : " ";
    fix.push_back(here(c, at + n.len, 1, put));
    rewrite = std::string(s.body.substr(0, n.len));
  } else {
    rewrite = in_case_of(word, n.meant);
    fix.push_back(here(c, at, wl, rewrite));
  }
  remember();
  if (!c.on(wname::misspelt_statement)) return true;
  std::string why;
  const bool ok = offer(c, wname::misspelt_statement, fix, why);
  c.warn(wname::misspelt_statement, at, wl,
         quoted(word) + " is no statement; " +
             (n.glued ? "the " + quoted(word.substr(n.len, 1)) + " glued to " +
                            quoted(word.substr(0, n.len)) + " makes it another word"
                      : quoted(n.meant) + " was meant") +
             (ok ? n.glued ? "; remove the " + quoted(word.substr(n.len, 1))
                           : "; write " + quoted(rewrite)
                 : ""),
         fix);
  c.say("a statement's word stands alone, followed by a blank: this line reaches NASM as it "
        "stands");
  if (still) c.say("so " + named(*still) + " is still open after it, with the lines that follow");
  why_not(c, n.glued ? "removing the " + quoted(word.substr(n.len, 1)) : quoted(rewrite), why);
  return true;
}

// One letter off, letters swapped, or punctuation glued on; an instruction's operands after
// `end` make it an instruction.
static constexpr warning_rec misspelt_statement_w = {
    wname::misspelt_statement, "misspelt-statement", on(looks_at::plain), misspelt_statement,
    "whlie ecx != 0\n& dec ecx\nend\n",
    "while ecx != 0\n& dec ecx\nend\nand ecx, 1\n",
    set_of(wname::label_in_block, wname::missing_end),
    "A first word one letter from a statement word, or one with punctuation glued to it "
    "(`whlie`, `end.`), is no statement and reaches NASM as it stands."};

// The lines from `from` (0-based) on that have `depth` markers or more, up to the first that has
// fewer: the group a line with too many markers starts. The index of its last line.
static int64_t deep_group(const check_run& c, int64_t from, int64_t depth) {
  size_t pos = static_cast<size_t>(c.line.data() - c.text.data());
  int64_t last = from;
  for (int64_t at = from; pos < c.text.size(); ++at) {
    if (scan_line(next_line(c.text, pos)).depth < depth) break;
    last = at;
  }
  return last;
}

static bool extra_markers(check_run& c, const line_scan& s) {
  const bool opens = s.kind == stmt::if_ || s.kind == stmt::while_;
  if ((s.kind != stmt::plain && !opens) || c.cont || skipped(c)) return false;
  // The block this line is in: for an if or while, the one around the block it opened.
  const size_t n = c.open.size() - (opens ? 1 : 0);
  opened* in = n > 0 ? &c.open[n - 1] : nullptr;
  const int64_t gives = in ? in->depth + 1 : 0;
  const bool was_deep = c.deep;
  c.deep = s.depth > gives;
  // One warning for a group of such lines, at its first.
  if (!c.deep || was_deep || s.depth == 0) return false;
  // A line that closed a block by its depth has told that this one was meant to be in it.
  if (c.closed_told == c.ln) return false;
  // A misspelt statement before it has told why no block gives it its markers.
  if (!c.slips.empty() && c.slips.back().depth < s.depth && (!in || c.slips.back().line > in->line))
    return false;
  if (in && in->folded) return false;
  // The block an end ended just before, whose lines have these markers, was most likely meant.
  const closed* ended = closed_before(c, s.depth - 1);
  if (ended && ended->how != closed_by::end) ended = nullptr;
  // Inside a block, more markers than it gives change nothing: a line stays in the block all the
  // same, and what a statement among them opens, its own lines' markers close. Outside every
  // block, an if or while with markers opens its block at that depth, its own lines follow it,
  // and the whole construct is merely indented.
  if (!ended && (in || opens)) return false;
  if (!c.on(wname::extra_markers)) return true;
  const int64_t last = deep_group(c, c.ln, s.depth);
  std::vector<edit> fix;
  std::string rewrite, why;
  if (ended) {
    fix = {remove_line(ended->by), insert_line(last + 1, std::string(ended->by_src), c.eol)};
    rewrite = "move line " + num(ended->by + 1) + "'s `end` below " +
              (last == c.ln ? std::string("it") : "line " + num(last + 1));
  } else {
    // Outside every block: the markers of the whole group go. A block opened at depth 0 is
    // closed by no line's depth, so its lines and statements stay together without them.
    size_t pos = static_cast<size_t>(c.line.data() - c.text.data());
    for (int64_t at = c.ln; at <= last; ++at)
      fix.push_back(edit{at + 1, 1, marker_run(next_line(c.text, pos)) + 1, ""});
    rewrite = "remove its markers";
    if (last > c.ln)
      rewrite += last > c.ln + 1 ? ", and those of lines " + num(c.ln + 2) + "-" + num(last + 1)
                                 : ", and line " + num(c.ln + 2) + "'s";
  }
  const bool ok = offer(c, wname::extra_markers, fix, why);
  c.warn(wname::extra_markers, 1, s.prefix ? s.prefix : 1,
         "this line has " + markers(s.depth) + ", more than " +
             (in ? named(*in) + " gives its lines (" + num(gives) + ")"
                 : std::string("any open block gives: none is open")) +
             (ok ? "; " + rewrite : ""),
         fix);
  if (ended) {
    c.say("line " + num(ended->by + 1) + "'s `end` ended " + named(ended->b) +
          ", whose lines have " + markers(ended->b.depth + 1) + ": this line was most likely "
          "meant to be in it");
    c.note_at(ended->by, ended->by_src, "the `end` that ended it");
  } else {
    c.say(in ? "the lines of a block have one marker more than the statement that opened it"
             : "outside every block a line has no markers");
    if (in) note_opened(c, *in);
  }
  why_not(c, rewrite, why);
  return true;
}

// Markers after the end of the block they fit, or outside every block; not more markers inside a
// block than it gives, which change nothing.
static constexpr warning_rec extra_markers_w = {
    wname::extra_markers, "extra-markers", on(looks_at::plain, looks_at::statement), extra_markers,
    "while ecx != 0\n& dec ecx\nend\n& inc eax\n",
    "while ecx != 0\n& dec ecx\n& inc eax\nend\n",
    {},
    "Markers on a line after the `end` of the block whose lines they fit, or outside every "
    "block, put the line in no block."};

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

// The condition after this else is never tested; a comment there is none.
static constexpr warning_rec else_text_w = {
    wname::else_text, "else-text", on(looks_at::else_line), else_text,
    "if eax == 1\nelse if eax == 2\nend\n",
    "if eax == 1\nelse ; the rest\nend\n",
    {},
    "Text after `else` that reads as a condition is never tested."};

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

// NASM rejects markers on a comment line, not a comment after an instruction.
static constexpr warning_rec marker_on_comment_w = {
    wname::marker_on_comment, "marker-on-comment", on(looks_at::blank), marker_on_comment,
    "if eax == 1\n& if ebx == 1\n&& ; note\n& end\nend\n",
    "if eax == 1\n& nop ; note\nend\n",
    {},
    "A comment line, or a line of only markers, keeps its markers, which NASM rejects."};
