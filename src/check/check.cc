// The checker's pass: the translator's own line loop, with the block observer told of every
// block opened, branched and closed; the explanations and warnings are built from what it
// reports, never from a rule worked out again.
#include "check/run.h"

#include <utility>
#include <algorithm>
#include <initializer_list>

#include "common/bytes.h"
#include "common/common.h"
#include "out/out.h"

std::string num(int64_t n) { return std::to_string(n); }

std::string markers(int64_t d) {
  if (d == 0) return "no markers";
  return d == 1 ? "1 marker" : num(d) + " markers";
}

std::string quoted(std::string_view s) {
  std::string r = "`";
  r += s;
  r += '`';
  return r;
}

std::string markers_like(std::string_view like, int64_t depth) {
  if (depth <= 0) return {};
  int64_t d = 0;
  const size_t n = marker_prefix(like, d);
  // "&&" anywhere in the prefix: the file writes its markers together.
  const bool together = like.substr(0, n).find("&&") != std::string_view::npos;
  std::string m;
  for (int64_t i = 0; i < depth; ++i) m += together ? "&" : "& ";
  if (together) m += ' ';
  return m;
}

size_t marker_run(std::string_view line) {
  size_t n = 0;
  while (n < line.size() && (line[n] == '&' || line[n] == ' ' || line[n] == '\t')) ++n;
  return n;
}

std::vector<edit> comment_up(std::string_view text, int64_t at, std::string_view src) {
  const size_t p = static_cast<size_t>(src.data() - text.data());
  if (at < 1 || p < 1 || p > text.size()) return {};
  const size_t b = p >= 2 ? text.rfind('\n', p - 2) : std::string_view::npos;
  size_t from = b == std::string_view::npos ? 0 : b + 1;
  const std::string_view prev = next_line(text, from);
  const line_scan ps = scan_line(prev);
  if (ps.kind != stmt::plain || prev.find(';') != std::string_view::npos) return {};
  const std::string_view comment = scan_line(src).body;
  const size_t end = prev.size() + 1;
  return {edit{at, end, end, " " + std::string(comment)}, remove_line(at)};
}

edit remove_line(int64_t at) {
  return edit{.line = at + 1, .col = 1, .end_col = 1, .text = "", .end_line = at + 2};
}

edit insert_line(int64_t at, std::string text, std::string_view eol) {
  edit e;
  e.line = at + 1;
  e.col = e.end_col = 1;
  e.text = std::move(text);
  e.text += eol;
  return e;
}

// --- reporting ------------------------------------------------------------------------------

void check_run::put(diag&& d) {
  if (d.lvl != level::note) {
    put_line = d.line;
    put_col = d.col;
    put_end = d.end_col;
    put_src = d.src;
  }
  if (into) into->push_back(std::move(d));
  else if (holding()) held.push_back(std::move(d));
  else sink(d, ctx);
}

[[gnu::noinline]] size_t check_run::slot() {
  const size_t k = slots.size();
  slots.emplace_back();
  diag p;
  p.line = -1;
  p.status = static_cast<int>(k);
  if (into) into->push_back(std::move(p));
  else held.push_back(std::move(p));
  return k;
}

// A held diagnostic to the sink; a placeholder stands for what its slot holds.
static void emit(check_run& c, const diag& d) {
  if (d.line >= 0) {
    c.sink(d, c.ctx);
    return;
  }
  for (const diag& x : c.slots[static_cast<size_t>(d.status)]) emit(c, x);
}

[[gnu::noinline]] void check_run::release(bool force) {
  if (holding() && !force) return;
  pending.clear();
  gone.clear();
  holds = 0;
  for (const diag& d : held) emit(*this, d);
  held.clear();
  slots.clear();
}

diag check_run::make(level l, int64_t at, std::string_view src, size_t c, size_t len,
                     std::string text) {
  diag d;
  d.lvl = l;
  d.line = at + 1;
  d.col = c;
  d.end_col = c + (len ? len : 1);
  d.text = std::move(text);
  d.src = src;
  return d;
}

bool check_run::warn(wname w, size_t c, size_t len, std::string text, std::vector<edit> fix) {
  if (!on(w)) return false;
  diag d = make(level::warning, ln, line, c, len, std::move(text));
  d.name = static_cast<int>(w);
  const bool fixed = !fix.empty();
  d.fix = std::move(fix);
  ++res.warnings;
  put(std::move(d));
  if (fixed && !then.empty()) say(std::exchange(then, {}));
  return true;
}

bool check_run::warn(wname w, size_t c, size_t len, std::initializer_list<std::string_view> text) {
  if (!on(w)) return false;
  cur.lvl = level::warning;
  cur.line = ln + 1;
  cur.col = c;
  cur.end_col = c + (len ? len : 1);
  cur.name = static_cast<int>(w);
  cur.src = line;
  // The same constant pieces as last time leave the text as it is.
  bool same = text.size() == cur_parts.size();
  for (size_t i = 0; same && i < text.size(); ++i)
    same = text.begin()[i].data() == cur_parts[i].data() &&
           text.begin()[i].size() == cur_parts[i].size();
  if (!same) {
    cur.text.clear();
    cur_parts.assign(text.begin(), text.end());
    for (std::string_view t : text) cur.text += t;
  }
  ++res.warnings;
  put_line = cur.line;
  put_col = cur.col;
  put_end = cur.end_col;
  put_src = cur.src;
  if (into) into->push_back(cur);
  else if (holding()) held.push_back(cur);
  else sink(cur, ctx);
  return true;
}

void check_run::error(int status, size_t c, size_t len, std::string text, std::vector<edit> fix) {
  const std::string_view m = message(status);
  diag d = make(level::error, ln, line, c, len,
                std::string(m.substr(0, m.size() - 1)) + ": " + text);
  d.status = status;
  const bool fixed = !fix.empty();
  d.fix = std::move(fix);
  put(std::move(d));
  if (fixed && !then.empty()) say(std::exchange(then, {}));
}

void check_run::note_at(int64_t at, std::string_view s, std::string text) {
  const line_scan sc = scan_line(s);
  const size_t c = sc.body.empty() ? 1 : static_cast<size_t>(sc.body.data() - s.data()) + 1;
  const size_t len = sc.kind == stmt::plain || sc.kind == stmt::blank ? sc.body.size() : sc.word;
  put(make(level::note, at, s, c, len, std::move(text)));
}

void check_run::say(std::string text) {
  diag d = make(level::note, put_line - 1, put_src, put_col, put_end - put_col, std::move(text));
  d.echo = false;
  put(std::move(d));
}

// --- the per-line facts, with opts.blocks ---------------------------------------------------
// Read off what the scanner and the block events told the pass, so that the server shows lines
// and blocks without a rule of its own.

static uint32_t u32(size_t n) { return n > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(n); }

// Room for a fact of every line at once: grown by doubling, the facts of a 50 MiB document
// would for a moment take twice their room.
static void start_facts(check_run& c, std::string_view text) {
  c.res.facts.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
}

// Line `line`, taken apart as `s`, as the translation reads it.
[[gnu::noinline]] static void note_fact(check_run& c, std::string_view line, const line_scan& s) {
  line_fact& f = c.res.facts.emplace_back();
  f.at = u32(static_cast<size_t>(s.body.data() - line.data()));
  f.body = u32(s.body.size());
  // The scanner counts the first word only as far as it needs to tell a statement.
  f.word = s.kind == stmt::plain || s.kind == stmt::blank ? 0 : u32(s.word);
  f.depth = static_cast<int32_t>(s.depth);
  f.kind = s.kind;
  if (s.kind == stmt::plain) f.label = u32(label_of(s.body).size());
}

// After the pass: the lines it did not reach, which block each statement line belongs to, how
// far each block reaches, and the translation. `pos` is where the lines not reached start.
[[gnu::noinline]] static void finish_facts(check_run& c, size_t pos) {
  while (pos < c.text.size()) {
    const std::string_view line = next_line(c.text, pos);
    note_fact(c, line, scan_line(line));
  }
  std::vector<line_fact>& f = c.res.facts;
  c.res.reach.reserve(c.res.blocks.size());
  for (size_t k = 0; k < c.res.blocks.size(); ++k) {
    const block_info& b = c.res.blocks[k];
    const int32_t i = static_cast<int32_t>(k);
    f[static_cast<size_t>(b.open)].block = i;
    for (const int64_t x : b.branches) f[static_cast<size_t>(x)].block = i;
    if (b.how == closed_by::end && b.close >= 0) f[static_cast<size_t>(b.close)].block = i;
    // A block still open where the translation stopped ends before the line it stopped at, so
    // that a fold of it never hides the line that bears the error.
    c.res.reach.push_back((b.close >= 0 ? b.close : c.res.stop) - 1);
  }
  if (c.o.keep) c.res.out.assign(out_thing.view());
}

// --- the pass -------------------------------------------------------------------------------

// The translation of the line `at`, which starts at `from` in out_thing, for --lines.
[[gnu::noinline]] static void lines_for(check_run& c, int64_t& directive, int64_t at, size_t from) {
  const std::string_view made = out_thing.view().substr(from);
  if (made.empty()) return;
  // Not between a line that ends in "\" and the line it goes on: NASM joins the two before
  // it reads a directive, and one between them would be read as part of the line.
  const std::string_view sofar = c.res.lines;
  if (directive != at && !sofar.ends_with("\\\n") && !sofar.ends_with("\\\r\n")) {
    c.res.lines += "%line ";
    c.res.lines += num(at + 1);
    c.res.lines += "+0 ";
    c.res.lines += c.o.file;
    c.res.lines += '\n';
    directive = at;
  }
  c.res.lines += made;
}

// Flattened: the scanner and the handlers are inlined here as they are in nestasm's own line
// loop. Called through the library they cost a third more (mix100: 0.41 s to 0.38 s). The
// warnings, the explanations and the block observer stay calls of their own: they build text,
// or run only on the lines that open or close blocks. So do what the loop calls seldom
// (explain, directive, settle_labels, release ...: noinline where they are defined): flattened
// with the suggestions' nested check, the loop grew to 1.1 MB of code and the check took a
// fifth longer.
[[gnu::flatten]] static void run(check_run& c, std::string_view text) {
  restart();
  file_lines = text;
  c.text = text;
  const size_t nl = text.find('\n');
  if (nl != std::string_view::npos && nl > 0 && text[nl - 1] == '\r') c.eol = "\r\n";
  int64_t directive_at = -1;
  const bool made = c.o.blocks && c.o.keep;
  const bool facts = c.o.blocks;
  if (facts) start_facts(c, text);
  bool backslash = false;  // the line before ends in "\", which joins the next one to it for NASM
  size_t pos = 0;
  for (lnum = 0; pos < file_lines.size(); ++lnum) {
    c.ln = lnum;
    c.line = next_line(pos);
    const line_scan s = scan_line(c.line);
    c.depth = s.depth;
    c.now.clear();
    c.ended.clear();
    c.nests = false;
    c.cont = backslash;
    const bool ends = !c.line.empty() && c.line.back() == '\\';
    if (ends && !backslash) {
      c.cont_from = c.ln;
      c.cont_dir = !s.body.empty() && s.body[0] == '%';
    }
    backslash = ends;
    const size_t o0 = out_thing.len;
    if (facts) {
      if (made) c.res.made.push_back(o0);
      note_fact(c, c.line, s);
    }
    const int r = translate_line(c.line, s, watch_blocks, &c);
    if (r != 0) {
      // The statement's error tells what a waiting closed-by-line would have said.
      settle_labels(c, true);
      c.flush();
      explain(c, r, s);
      c.res.status = r;
      c.res.stop = c.ln;
      c.flush();
      if (facts) finish_facts(c, pos);
      return;
    }
    if (!c.labels.empty() && !c.ended.empty()) settle_labels(c, false);
    if (!c.pending.empty() && s.kind != stmt::blank) run_checks(c, looks_at::next_line, s);
    if (!c.now.empty()) {
      const size_t first = c.gone.size();
      c.gone.insert(c.gone.end(), c.now.begin(), c.now.end());
      // Waiting from here, so that its warning comes before this line's own.
      // Only appended to while a line waits, so the place stays true until its warning goes in.
      c.pending.push_back({c.ln, c.line, c.held.size(), c.now_how, s.depth, first, c.gone.size()});
    }
    // In text NASM skips, only what the statements do to the blocks matters: what NASM would
    // make of a line does not.
    switch (s.kind) {
      case stmt::blank:
        if (c.skip_from < 0) run_checks(c, looks_at::blank, s);
        break;
      case stmt::plain:
        if (s.body[0] == '%') directive(c, s);
        if (c.skip_from < 0) run_checks(c, looks_at::plain, s);
        if (!c.open.empty())
          (s.depth > c.open.back().depth ? c.open.back().deeper : c.open.back().flat) = true;
        break;
      case stmt::if_:
      case stmt::elif:
      case stmt::while_:
        run_checks(c, looks_at::statement, s);
        if (c.skip_from < 0) run_checks(c, looks_at::condition, s);
        break;
      case stmt::else_:
        run_checks(c, looks_at::statement, s);
        if (c.skip_from < 0) run_checks(c, looks_at::else_line, s);
        break;
      case stmt::end: run_checks(c, looks_at::statement, s); break;
    }
    if (c.o.lines) lines_for(c, directive_at, c.ln, o0);
    if (!c.o.keep) out_thing.clear();
  }
  const int64_t n = lnum;
  const size_t o0 = out_thing.len;
  if (made) c.res.made.push_back(o0);
  c.ln = n;
  c.line = {};
  // Every block closes here; a label's warning may tell of a block left open.
  settle_labels(c, true, n);
  at_input_end(c);
  finish_input(watch_blocks, &c);
  if (made) c.res.made.push_back(out_thing.len);
  if (c.o.lines) lines_for(c, directive_at, n > 0 ? n - 1 : 0, o0);
  c.flush();
  if (facts) finish_facts(c, pos);
}

static void collect(const diag& d, void* ctx) {
  static_cast<std::vector<diag>*>(ctx)->push_back(d);
}

check_result check_text(std::string_view text, const check_opts& opts, diag_sink sink, void* ctx) {
  check_run c(opts, sink, ctx);
  const int saved = err_fd;
  err_fd = -1;  // the explanations replace the fixed messages
  run(c, text);
  err_fd = saved;
  // Waiting diagnostics come late: a label's, a line's that closed blocks by its depth.
  std::vector<int64_t>& u = c.res.unchecked;
  std::sort(u.begin(), u.end());
  u.erase(std::unique(u.begin(), u.end()), u.end());
  return std::move(c.res);
}

check_result check_text(std::string_view text, const check_opts& opts, std::vector<diag>& out) {
  return check_text(text, opts, collect, &out);
}
