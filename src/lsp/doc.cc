// Open documents: their lines, the columns the protocol counts, and the check of their text.
#include <algorithm>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "lsp/lsp.h"
#include "out/out.h"
#include "scan/scan.h"

void give_back_heap() {
  // glibc keeps the pages of freed blocks below its mmap threshold (the documents' many small
  // strings and vectors): after a 50 MiB document was closed, 1.2 GB stayed resident without
  // malloc_trim, 3.3 MB with it. It walks the heap once, a few ms after such a document.
#ifdef __GLIBC__
  malloc_trim(0);
#endif
}

std::string_view line_at(const doc& d, int64_t i) {
  if (i < 0 || i >= line_count(d)) return {};
  size_t p = d.starts[static_cast<size_t>(i)];
  return next_line(d.text, p);
}

// The protocol's lines, kept only where a lone "\r" makes them others than the translator's: a
// text without one, nearly every text, costs a search for "\r" and no table.
static void find_protocol_lines(doc& d) {
  d.proto.clear();
  const std::string_view t = d.text;
  bool lone = false;
  if (t.find('\r') != std::string_view::npos)
    for (int64_t i = 0; i < line_count(d) && !lone; ++i)
      lone = line_at(d, i).find('\r') != std::string_view::npos;
  if (!lone) return;
  for (size_t p = 0; p < t.size();) {
    d.proto.push_back(p);
    const size_t e = t.find_first_of("\r\n", p);
    if (e == std::string_view::npos) break;
    p = e + (t[e] == '\r' && e + 1 < t.size() && t[e + 1] == '\n' ? 2 : 1);
  }
  d.proto.push_back(t.size());
}

void set_text(doc& d, std::string text) {
  d.text = std::move(text);
  d.starts.clear();
  for (size_t p = 0; p < d.text.size(); next_line(d.text, p)) d.starts.push_back(p);
  d.starts.push_back(d.text.size());
  find_protocol_lines(d);
  d.dirty = d.unpublished = true;
  d.fix_lines.clear();
  d.fixed.clear();
  d.nasm.clear();
}

// Past this, a document's check gives back the memory it used when it is done.
constexpr size_t big_text = size_t{8} << 20;

void analyse(doc& d) {
  if (!d.dirty) return;
  d.diags.clear();
  check_opts o;
  o.blocks = o.keep = true;
  // Published as soon as the pass is done: a suggestion costs a check of the whole text, and
  // checked here, the 200 of a 2,000-line text took 57 ms of every change (p99 116 ms); the
  // pass alone takes 0.6 ms (p99 0.8). They are checked when a codeAction asks (check_fixes).
  o.fixes = false;
  // For NASM's round: the translation with %line directives that name the document's lines.
  o.lines = !d.line_name.empty();
  o.file = d.line_name;
  d.res = check_text(d.text, o, d.diags);
  d.dirty = false;
  ++d.checks;
  if (d.text.size() > big_text) {
    // The translation is kept in the result: the translator's buffer would hold it a second
    // time for as long as the server runs, and the pass's own lists (about 12 times the text)
    // would stay resident in glibc's heap. Growing the buffer again costs about 1 ms for each
    // MiB, on a check that takes 200 ms for each.
    out_thing.release();
    give_back_heap();
  }
}

// The bytes of the character that starts with `c`, and the UTF-16 units it takes. A byte that
// cannot start one counts as a character of its own.
static size_t char_len(unsigned char c) { return c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4; }

int64_t col_of(std::string_view line, size_t b, bool utf8) {
  if (b > line.size()) b = line.size();
  if (utf8) return static_cast<int64_t>(b);
  int64_t units = 0;
  for (size_t i = 0; i < b;) {
    const size_t n = char_len(static_cast<unsigned char>(line[i]));
    units += n == 4 ? 2 : 1;
    i += n;
  }
  return units;
}

size_t byte_of(std::string_view line, int64_t ch, bool utf8) {
  if (ch <= 0) return 0;
  if (utf8) return static_cast<uint64_t>(ch) < line.size() ? static_cast<size_t>(ch) : line.size();
  int64_t units = 0;
  size_t i = 0;
  while (i < line.size()) {
    const size_t n = char_len(static_cast<unsigned char>(line[i]));
    units += n == 4 ? 2 : 1;
    if (units > ch) break;  // inside this character: before it
    i += n;
  }
  return i < line.size() ? i : line.size();
}

// --- positions: the translator's line and byte, the text's byte, the protocol's line and column -

// The protocol's lines of `d`, and line `i` of them without its line end.
static int64_t proto_count(const doc& d) { return static_cast<int64_t>(d.proto.size()) - 1; }
static std::string_view proto_line(const doc& d, int64_t i) {
  size_t b = d.proto[static_cast<size_t>(i)], e = d.proto[static_cast<size_t>(i) + 1];
  if (e > b && d.text[e - 1] == '\n') --e;
  if (e > b && d.text[e - 1] == '\r') --e;
  return std::string_view(d.text).substr(b, e - b);
}

pos where(const server& s, const doc& d, int64_t line, size_t b) {
  const int64_t n = line_count(d);
  if (line >= n) {
    const bool ended = d.text.empty() || d.text.back() == '\n' || d.text.back() == '\r';
    if (ended) return {d.proto.empty() ? n : proto_count(d), 0};
    line = n - 1;
    b = std::string_view::npos;
  }
  if (line < 0) line = 0;
  const std::string_view l = line_at(d, line);
  if (d.proto.empty()) return {line, col_of(l, b, s.utf8)};
  const size_t at = d.starts[static_cast<size_t>(line)] + std::min(b, l.size());
  const auto in = std::upper_bound(d.proto.begin(), d.proto.end() - 1, at) - 1;
  return {in - d.proto.begin(),
          col_of(std::string_view(d.text).substr(*in, at - *in), std::string_view::npos, s.utf8)};
}

size_t offset_at(const server& s, const doc& d, pos p) {
  const bool same = d.proto.empty();
  if (p.line < 0 || p.line >= (same ? line_count(d) : proto_count(d))) return d.text.size();
  const size_t i = static_cast<size_t>(p.line);
  return same ? d.starts[i] + byte_of(line_at(d, p.line), p.ch, s.utf8)
              : d.proto[i] + byte_of(proto_line(d, p.line), p.ch, s.utf8);
}

pos source_of(const server& s, const doc& d, pos p) {
  if (d.proto.empty())
    return {p.line, static_cast<int64_t>(byte_of(line_at(d, p.line), p.ch, s.utf8))};
  if (p.line >= proto_count(d)) return {line_count(d), 0};
  const size_t at = offset_at(s, d, p);
  const auto in = std::upper_bound(d.starts.begin(), d.starts.end() - 1, at) - 1;
  return {in - d.starts.begin(), static_cast<int64_t>(at - *in)};
}

void lines_asked(const server& s, const doc& d, const json& params, int64_t& from, int64_t& to) {
  from = 0;
  to = INT64_MAX;
  const json& range = get(params, "range");
  const json& b = get(get(range, "start"), "line");
  const json& e = get(get(range, "end"), "line");
  if (b.is_number_integer())
    from = source_of(s, d, {std::max<int64_t>(b.get<int64_t>(), 0), 0}).line;
  if (e.is_number_integer())
    to = e.get<int64_t>() < 0 ? -1 : source_of(s, d, {e.get<int64_t>(), 0}).line;
}

std::optional<std::string_view> translation_of(const doc& d, int64_t i) {
  const std::vector<size_t>& made = d.res.made;
  if (i < 0 || static_cast<size_t>(i) + 1 >= made.size()) return std::nullopt;
  const size_t b = made[static_cast<size_t>(i)], e = made[static_cast<size_t>(i) + 1];
  std::string_view code = std::string_view(d.res.out).substr(b, e - b);
  if (!code.empty() && code.back() == '\n') code.remove_suffix(1);
  return code;
}

void check_fixes(doc& d, int64_t from, int64_t to) {
  // The lines in [from, to] (1-based) that have a suggestion and were not checked yet.
  const auto b = std::lower_bound(d.res.unchecked.begin(), d.res.unchecked.end(), from);
  const auto e = std::upper_bound(b, d.res.unchecked.end(), to);
  std::vector<int64_t> want;
  for (auto i = b; i != e; ++i)
    if (!std::binary_search(d.fix_lines.begin(), d.fix_lines.end(), *i)) want.push_back(*i);
  if (want.empty()) return;
  check_opts o;
  o.fixes_on = &want;
  std::vector<diag> got;
  check_text(d.text, o, got);
  for (diag& g : got)
    if (g.lvl != level::note && !g.fix.empty() &&
        std::binary_search(want.begin(), want.end(), g.line))
      d.fixed.push_back(std::move(g));
  const size_t n = d.fix_lines.size();
  d.fix_lines.insert(d.fix_lines.end(), want.begin(), want.end());
  std::inplace_merge(d.fix_lines.begin(), d.fix_lines.begin() + static_cast<std::ptrdiff_t>(n),
                     d.fix_lines.end());
  ++d.fix_checks;
}
