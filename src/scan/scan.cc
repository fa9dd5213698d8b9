// The line scanner: depth markers, closing by depth, comments, and dispatch to the statements.
#include "scan/scan.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "codegen/codegen.h"
#include "common/bytes.h"
#include "common/common.h"
#include "out/out.h"

std::string_view file_lines;
int64_t lnum = 0;

// Whether `w` spells the lower-case keyword `kw`, of the same length, in any case.
static bool same_word(std::string_view w, std::string_view kw) {
  // `kw` is lower case; setting bit 5 of a letter lower-cases it and makes no other byte equal
  // to a lower-case letter that it was not already.
  for (size_t i = 0; i < kw.size(); ++i)
    if ((w[i] | 0x20) != kw[i]) return false;
  return true;
}

// The statement that the first word of `body` names, ignoring case, or stmt::plain; the word's
// length in `len`. Most lines are instructions, and a test of the first byte spares them the
// rest.
static stmt keyword(std::string_view body, size_t& len) {
  switch (body[0]) {
    case 'i': case 'I': case 'e': case 'E': case 'w': case 'W': break;
    default: return stmt::plain;
  }
  // The word ends at its first space or tab; a word longer than "while" is no keyword.
  size_t n = 0;
  while (n < body.size() && n < 6 && body[n] != ' ' && body[n] != '\t') ++n;
  len = n;
  const std::string_view w = body.substr(0, n);
  switch (n) {
    case 2: return same_word(w, "if") ? stmt::if_ : stmt::plain;
    case 3: return same_word(w, "end") ? stmt::end : stmt::plain;
    case 4:
      if (same_word(w, "elif")) return stmt::elif;
      return same_word(w, "else") ? stmt::else_ : stmt::plain;
    case 5: return same_word(w, "while") ? stmt::while_ : stmt::plain;
    default: return stmt::plain;
  }
}

// The rest of scan_line, once the marker prefix and the body are known.
static line_scan scan_body(int64_t depth, size_t prefix, std::string_view body) {
  line_scan s;
  s.depth = depth;
  s.prefix = prefix;
  s.body = body;
  if (body.empty() || body[0] == ';') return s;
  s.kind = keyword(body, s.word);
  if (s.kind != stmt::plain) s.arg = trimx(body.substr(s.word));
  return s;
}

// The line taken apart by look32, which found where it ends.
static line_scan scan_looked(const char* p, const line32& k) {
  return scan_body(k.depth, k.prefix, std::string_view(p + k.body, k.tail - k.body));
}

line_scan scan_line(std::string_view line) {
  int64_t depth = 0;
  const size_t prefix = marker_prefix(line, depth);
  return scan_body(depth, prefix, trimx(line.substr(prefix)));
}

// Append `text` as one output line. Lines of file_lines may be copied in a block that runs past
// their end (put_line); a line from anywhere else is copied to its end and no further.
static void pass(std::string_view text) {
  const char* begin = file_lines.data();
  const char* end = begin + file_lines.size();
  const char* stop = text.data() >= begin && text.data() <= end ? end : text.data() + text.size();
  char* p = out_thing.room(32 + text.size() + 1);
  out_thing.len = static_cast<size_t>(put_line(p, text, stop) - out_thing.buf);
}

// The observer of nestasm itself: it watches nothing, and with `on` false every call to it
// compiles away, so the loop is the same as with no observer at all.
struct no_watch {
  static constexpr bool on = false;
  void operator()(const blk_event&) const {}
};

// An observer reached through a function, for nestasm-check and the language server.
struct fn_watch {
  static constexpr bool on = true;
  watcher w;
  void* ctx;
  void operator()(const blk_event& e) const {
    if (w) w(e, ctx);
  }
};

template <class W>
static void tell(const W& w, ev what, const Bx& b, closed_by how = closed_by::end, int status = 0) {
  if constexpr (W::on) w(blk_event{what, lnum, b, how, status});
}

// The per-line step once the line is taken apart. Always inlined, so nestasm's line loop
// (translate_all) stays one function; translate_line, for a caller that watches the blocks,
// shares it.
template <class W>
[[gnu::always_inline]] static inline int translate(std::string_view line, const line_scan& s,
                                                   const W& w) {
  // Every line, blank and comment lines too, ends the blocks opened deeper than it.
  if (!stk.empty() && stk.back().depth > s.depth) {
    if constexpr (W::on) {
      const closed_by how = s.kind != stmt::blank ? closed_by::line
                            : s.body.empty()      ? closed_by::blank
                                                  : closed_by::comment;
      close_til(s.depth + 1, [&](const Bx& b) { tell(w, ev::closed, b, how); });
    } else {
      close_til(s.depth + 1);
    }
  }
  int r = 0;
  switch (s.kind) {
    case stmt::blank: pass(line); return 0;
    case stmt::plain: pass(s.body); return 0;
    case stmt::if_:
      r = do_if(s.depth, s.arg);
      if (r == 0) tell(w, ev::opened, stk.back());
      break;
    case stmt::elif:
      r = do_elif(s.depth, s.arg);
      if (r == 0) tell(w, ev::branched, stk.back());
      break;
    case stmt::else_:
      r = do_else(s.depth, s.arg);
      if (r == 0) tell(w, ev::branched, stk.back());
      break;
    case stmt::while_:
      r = do_while(s.depth, s.arg);
      if (r == 0) tell(w, ev::opened, stk.back());
      break;
    case stmt::end: {
      // The block end pops, seen before it goes.
      Bx top;
      if constexpr (W::on)
        if (!stk.empty()) top = stk.back();
      r = do_end(s.depth, s.arg);
      if (r == 0) tell(w, ev::closed, top, closed_by::end);
      break;
    }
  }
  if (r != 0) tell(w, ev::stopped, Bx{}, closed_by::end, r);
  return r;
}

int translate_line(std::string_view line, const line_scan& s, watcher w, void* ctx) {
  return translate(line, s, fn_watch{w, ctx});
}

void finish_input(watcher w, void* ctx) {
  const fn_watch f{w, ctx};
  close_til(0, [&](const Bx& b) { tell(f, ev::closed, b, closed_by::input_end); });
}

std::string_view next_line(std::string_view text, size_t& pos) {
  const char* p = text.data();
  const size_t size = text.size();
  // Most lines end within 32 bytes, found there by one compare of them all rather than a call
  // to memchr: nestasm-check, which cuts out every line here, ran 180,000 fewer mispredicted
  // branches on the 10 MiB mix (simulated), and 1% fewer instructions.
  const uint32_t near = size - pos >= 32 ? nl32(p + pos) : 0;
  const void* nl = near ? p + pos + std::countr_zero(near)
                        : std::memchr(p + pos, '\n', size - pos);
  const size_t end = nl ? static_cast<size_t>(static_cast<const char*>(nl) - p) : size;
  std::string_view line(p + pos, end - pos);
  // A CRLF file translates like the same file with LF line ends.
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  pos = nl ? end + 1 : size;
  return line;
}

std::string_view next_line(size_t& pos) { return next_line(file_lines, pos); }

// Whether a body that starts with the two bytes at `p` may be a statement: they begin "if",
// "elif", "else", "end" or "while" in either case. A shorter body is followed by white space or
// a line end, which begins none of them.
static bool may_be_stmt(const char* p) {
  uint16_t two;
  std::memcpy(&two, p, 2);
  two |= 0x2020;  // either case, as same_word reads them
  uint16_t w[4];
  std::memcpy(w, "ifelenwh", 8);
  return two == w[0] || two == w[1] || two == w[2] || two == w[3];
}

int translate_all(void (*done)(size_t upto)) {
  // Every 4 MiB: often enough that little of a large input is held at once, seldom enough to
  // cost nothing.
  constexpr size_t step = size_t{4} << 20;
  const char* const text = file_lines.data();
  const size_t size = file_lines.size();
  size_t pos = 0;
  size_t next = done ? step : SIZE_MAX;
  for (lnum = 0; pos < size; ++lnum) {
    // Most lines are short and are not statements. One that ends within 32 bytes, with 32 more
    // to read after those, is taken apart in one pass (look32) and, unless it may be a
    // statement, copied as a block of 32 bytes whose excess the next line writes over.
    const char* p = text + pos;
    const line32 k = size - pos >= 64 ? look32(p) : line32{32};
    const char* body = p + k.body;
    // The line without its line end: a "\r" before the "\n" is part of neither.
    const auto len = [&] { return k.end - (k.end > 0 && p[k.end - 1] == '\r' ? 1 : 0); };
    if (k.end < 32 && (k.body == k.end || *body == ';' || !may_be_stmt(body))) {
      if (!stk.empty() && stk.back().depth > k.depth) close_til(k.depth + 1);
      // A blank or comment line goes whole, a plain line's body alone.
      const bool whole = k.body == k.end || *body == ';';
      const size_t n = whole ? len() : k.tail - k.body;
      char* o = out_thing.room(32 + 1);
      std::memcpy(o, whole ? p : body, 32);
      o[n] = '\n';
      out_thing.len += n + 1;
      pos += k.end + 1;
    } else {
      const bool looked = k.end < 32;
      const std::string_view line = looked ? std::string_view(p, len()) : next_line(pos);
      if (looked) pos += k.end + 1;
      // Made in place: assigned, the record was copied by a slow string move on every statement
      // (100,000 nested blocks: 4.4M instructions and 200,000 mispredicted branches more).
      const line_scan s = looked ? scan_looked(p, k) : scan_line(line);
      if (int r = translate(line, s, no_watch{})) return r;
    }
    if (pos >= next) {
      done(pos);
      next = pos + step;
    }
  }
  close_til(0);
  return 0;
}

void restart() {
  file_lines = {};
  out_thing.clear();
  lnum = 0;
  reset_codegen();
}

translation_state set_aside() {
  translation_state s{file_lines, lnum, lbl_n, err_fd, {}, std::string(out_thing.view())};
  s.blocks.swap(stk);
  restart();
  return s;
}

void put_back(translation_state&& s) {
  file_lines = s.input;
  lnum = s.line;
  lbl_n = s.labels;
  err_fd = s.err;
  stk.swap(s.blocks);
  out_thing.clear();
  char* p = out_thing.room(s.out.size() + 1);
  if (!s.out.empty()) std::copy(s.out.begin(), s.out.end(), p);
  out_thing.len = s.out.size();
}
