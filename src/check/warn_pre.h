// The warnings about NASM's preprocessor: lines it joins, statements it skips, words it
// defines as macros. Included by warn.cc, whose table holds the records.
#pragma once

#include "check/run.h"
#include "common/common.h"
#include "cond/cond.h"

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

// A line NASM joins to a directive is that directive's text: nothing else is said of it.
static constexpr warning_rec continued_markers_w = {
    wname::continued_markers, "continued-markers", on(looks_at::plain), continued_markers,
    "%if 1 \\\n    && 0\n%endif\n",
    "%if 1 \\\n\t&& 0\n%endif\n",
    set_of(wname::tab_before_marker, wname::not_a_statement, wname::keyword_label,
           wname::label_in_block, wname::missing_end),
    "The `&` of a line that NASM joins to a directive are stripped by nestasm as markers."};

[[gnu::noinline]] static bool statement_macro_(check_run& c, const line_scan& s) {
  const std::string_view w = word_of(s);
  nasm_def* d = nullptr;
  for (nasm_def& x : c.defs)
    if (calls(x, w)) d = &x;
  // Once for each macro: every use of the word is the same mistake.
  if (!d || d->told) return false;
  d->told = true;
  tell_macro(c, static_cast<int>(wname::statement_macro), s, *d);
  return true;
}

static bool statement_macro(check_run& c, const line_scan& s) {
  if (c.defs.empty()) return false;
  return statement_macro_(c, s);
}

// The macro is the cause of what the statement does.
static constexpr warning_rec statement_macro_w = {
    wname::statement_macro, "statement-macro", on(looks_at::statement), statement_macro,
    "%macro END 0\nret\n%endmacro\nif eax == 1\n& nop\nEND\n",
    "%macro END_ 0\nret\n%endmacro\nif eax == 1\n& nop\nend\n",
    set_of(wname::skipped_statement),
    "A statement's word is a macro of the file, but nestasm reads it as its statement."};

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

// A block opened in `%if 0` and left open takes in the lines after it; one ended there is harmless.
static constexpr warning_rec skipped_statement_w = {
    wname::skipped_statement, "skipped-statement", on(looks_at::statement), skipped_statement,
    "%if 0\nif (x == 1) {\n%endif\nnop\n",
    "%if 0\nif x == 1\n& nop\nend\n%endif\nnop\n",
    {},
    "A statement in text NASM skips ends a block opened before that text, or leaves one open "
    "after it."};

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
