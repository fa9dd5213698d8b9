// The checker's block observer: the open blocks as the line loop reports them, which line opened
// each branch, and what closed the last block of each depth, for the notes.
#include "check/run.h"

// Depths up to this are remembered for the notes; deeper ones are rare and only cost memory.
constexpr int64_t kept_depths = 4096;

static std::string kind_word(int kind) { return std::string(line_fact::block_word[kind]); }

std::string describe(const opened& b) {
  if (b.kind == if_blk && b.branch != b.line)
    return "the elif branch opened at line " + num(b.branch + 1);
  return std::string("the ") + kind_word(b.kind) + " opened at line " + num(b.branch + 1);
}

std::string named(const opened& b) {
  if (b.kind == if_blk && b.branch != b.line) return "the elif branch of line " + num(b.branch + 1);
  return std::string("the ") + kind_word(b.kind) + " of line " + num(b.branch + 1);
}

void note_opened(check_run& c, const opened& b) {
  std::string what = b.kind == if_blk && b.branch != b.line ? "the elif branch"
                                                             : std::string("the ") + kind_word(b.kind);
  c.note_at(b.branch, b.branch_src, what + " opened here, with " + markers(b.depth));
}

void note_closed(check_run& c, const closed& g) {
  std::string t = describe(g.b) + ", with " + markers(g.b.depth) + ", ";
  switch (g.how) {
    case closed_by::end: t += "was ended here, by an earlier end"; break;
    case closed_by::blank:
      t += "was closed here by a blank line: every line, a blank one too, closes the blocks "
           "opened with more markers than its own";
      break;
    case closed_by::comment:
      t += "was closed here by a comment with " + markers(g.by_depth) +
           ": a comment, too, closes the blocks opened with more markers than its own";
      break;
    case closed_by::line:
    case closed_by::input_end:
      t += "was closed here by a line with " + markers(g.by_depth);
      break;
  }
  c.note_at(g.by, g.by_src, std::move(t));
}

const closed* closed_before(const check_run& c, int64_t depth) {
  if (depth < 0 || depth >= static_cast<int64_t>(c.last.size())) return nullptr;
  const closed& g = c.last[static_cast<size_t>(depth)];
  if (g.by < 0) return nullptr;
  if (!c.open.empty() && g.b.line <= c.open.back().branch) return nullptr;
  return &g;
}

// The block `b` was closed by the line being translated, whose depth is `depth`.
static void record_close(check_run& c, const opened& b, closed_by how, int64_t depth) {
  if (b.depth < 0 || b.depth >= kept_depths) return;
  const size_t d = static_cast<size_t>(b.depth);
  if (c.last.size() <= d) c.last.resize(d + 1);
  c.last[d] = closed{b, c.ln, c.line, how, depth};
}

void watch_blocks(const blk_event& e, void* run) {
  check_run& c = *static_cast<check_run*>(run);
  switch (e.what) {
    case ev::opened: {
      // The statement is a line of the branch it opens in.
      if (!c.open.empty()) {
        opened& top = c.open.back();
        // An if or while at the depth of a block whose lines so far were all deeper opens
        // inside it: the block's end is likely missing.
        if (e.b.depth == top.depth && top.deeper && !top.flat && !top.folded) {
          c.nests = true;
          c.inside = top;
        }
        (e.b.depth > top.depth ? top.deeper : top.flat) = true;
      }
      opened b;
      b.line = b.branch = e.line;
      b.branch_src = b.open_src = c.line;
      b.depth = e.b.depth;
      b.kind = e.b.kind;
      if (c.o.blocks) {
        b.info = c.res.blocks.size();
        block_info& i = c.res.blocks.emplace_back();
        i.kind = e.b.kind;
        i.depth = e.b.depth;
        i.open = e.line;
        i.parent = c.open.empty() ? -1 : static_cast<int64_t>(c.open.back().info);
      }
      c.open.push_back(b);
      break;
    }
    case ev::branched: {
      opened& top = c.open.back();
      top.branch = e.line;
      top.branch_src = c.line;
      top.kind = e.b.kind;
      top.deeper = top.flat = false;
      if (c.o.blocks) {
        block_info& i = c.res.blocks[top.info];
        i.branches.push_back(e.line);
        i.has_else = e.b.kind == else_blk;
      }
      break;
    }
    case ev::closed: {
      const opened b = c.open.back();
      c.open.pop_back();
      if (b.folded) --c.folded;
      c.ended.push_back(b.line);
      if (c.o.blocks) {
        block_info& i = c.res.blocks[b.info];
        i.close = e.line;
        i.how = e.how;
      }
      if (e.how == closed_by::input_end) break;
      // An end has the depth of the block it ends; any other line closes by its own depth.
      record_close(c, b, e.how, e.how == closed_by::end ? b.depth : c.depth);
      if (e.how != closed_by::end) {
        c.now.push_back(b);
        c.now_how = e.how;
      }
      break;
    }
    case ev::stopped: break;
  }
}
