// The depths Enter gives, read from the blocks the translation itself has open at that line.
#include <vector>

#include "common/common.h"
#include "fmt/fmt.h"
#include "out/out.h"
#include "scan/scan.h"

namespace {

// The open blocks, innermost last, as the line loop tells of them.
struct open_blocks {
  std::vector<Bx> open;
};

void follow(const blk_event& e, void* ctx) {
  std::vector<Bx>& open = static_cast<open_blocks*>(ctx)->open;
  switch (e.what) {
    case ev::opened: open.push_back(e.b); break;
    case ev::branched:
      if (!open.empty()) open.back() = e.b;
      break;
    case ev::closed:
      if (!open.empty()) open.pop_back();
      break;
    case ev::stopped: break;
  }
}

// The translation the caller may be in the middle of (the language server's), kept from the
// one run here and given back after it; its messages are not written either.
struct aside {
  translation_state s = set_aside();
  aside() { err_fd = -1; }
  ~aside() { put_back(std::move(s)); }
  aside(const aside&) = delete;
  aside& operator=(const aside&) = delete;
};

bool opens(stmt k) {
  return k == stmt::if_ || k == stmt::elif || k == stmt::else_ || k == stmt::while_;
}

}  // namespace

enter_depths on_enter(std::string_view text, int64_t n) {
  aside keep;
  file_lines = text;
  open_blocks b;
  size_t pos = 0;
  std::string_view line;
  bool failed = false;  // a line before n stops the translation: nothing is open after it
  for (lnum = 0; lnum <= n; ++lnum) {
    // Past the last line, every line is empty, and so is line n.
    if (pos >= text.size()) {
      line = {};
      break;
    }
    line = next_line(text, pos);
    if (lnum == n || failed) continue;
    failed = translate_line(line, scan_line(line), follow, &b) != 0;
    out_thing.clear();
  }
  lnum = n;
  const line_scan s = scan_line(line);
  enter_depths d{s.depth, s.depth};
  const bool joins = s.kind == stmt::end || s.kind == stmt::elif || s.kind == stmt::else_;
  // Where the statement fits as it stands, it stays; where it does not, the blocks it left open
  // after those its depth closed are the ones it may belong to.
  if (!failed && joins && translate_line(line, s, follow, &b) != 0) {
    for (auto it = b.open.rbegin(); it != b.open.rend(); ++it) {
      if (s.kind == stmt::end || it->kind == if_blk) {
        d.line = it->depth;
        break;
      }
    }
  }
  d.new_line = d.line + (opens(s.kind) ? 1 : 0);
  return d;
}
