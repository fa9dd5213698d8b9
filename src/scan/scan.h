// The line scanner: splits the input into lines, reads each line's depth markers and first word,
// closes the blocks the line ends, and hands statements to their handlers.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "codegen/codegen.h"

// The whole input as read: lines end at "\n", and one "\r" before it (or at the very end of the
// text) is not part of the line. Only read once reading is done.
extern std::string_view file_lines;

// Index of the input line being translated, 0 for the first.
extern int64_t lnum;

// What a line is. A blank line is empty after its markers and white space; a comment line's
// text after them starts with ";". Both are copied as they stand.
enum class stmt { blank, plain, if_, elif, else_, while_, end };

// One line taken apart the way translation reads it. The views point into the line.
struct line_scan {
  stmt kind = stmt::blank;
  int64_t depth = 0;      // "&" in the marker prefix
  size_t prefix = 0;      // bytes of the marker prefix, "&" and spaces
  std::string_view body;  // the rest of the line, trimmed
  size_t word = 0;        // bytes of the first word of `body`
  std::string_view arg;   // a statement's argument text, trimmed; empty otherwise
};

// Take `line` (without its terminator) apart.
line_scan scan_line(std::string_view line);

// The line of file_lines that starts at byte `pos`, without its terminator; `pos` moves on to
// the start of the next line. Call while `pos` < file_lines.size().
std::string_view next_line(size_t& pos);

// The same over any text read as the input is: the one way every part of the project walks
// lines, so that all of them agree on where a line ends and what its "\r" is.
std::string_view next_line(std::string_view text, size_t& pos);

// What the line loop did to the open blocks, told as it happens to an observer (nestasm-check,
// the language server), which then never has to work out a rule of the translator again.
enum class ev {
  opened,    // an if or while pushed `b`
  branched,  // an elif or else replaced the top block by `b` (kind if_blk or else_blk)
  closed,    // `b` is about to be closed, in the way `how` says
  stopped,   // the translation stops at this line with the statement error `status`
};

// How a block came to be closed.
enum class closed_by {
  end,        // its own end
  line,       // a plain or statement line with fewer markers
  blank,      // a blank line with fewer markers
  comment,    // a comment line with fewer markers
  input_end,  // the end of the input
};

struct blk_event {
  ev what = ev::opened;
  int64_t line = 0;  // index of the line that caused it; the number of lines at the end of input
  Bx b;              // the block opened, replaced by, or closed
  closed_by how = closed_by::end;
  int status = 0;
};

using watcher = void (*)(const blk_event& e, void* ctx);

// Translate one input line (without its terminator), which the caller has taken apart with
// scan_line already, telling `w` (when not null) what it does to the open blocks. Returns 0, or
// a statement error's status. nestasm's own loop, translate_all, runs the same step inlined and
// unwatched; this one is for nestasm-check, which looks at every line as the scanner reads it.
int translate_line(std::string_view line, const line_scan& s, watcher w, void* ctx);

// After the last line: close the blocks still open, telling `w` (when not null) of each.
void finish_input(watcher w, void* ctx);

// Translate every line of file_lines, then close the blocks still open. Returns 0, or the status
// of the first statement error; lnum is then the index of the line that raised it. `done`, when
// given, is told now and then that the bytes of file_lines before `upto` are read for the last
// time, so that their memory can go.
int translate_all(void (*done)(size_t upto) = nullptr);

// Forget everything a translation left behind, so another can start as if the process were new.
void restart();

// Everything a translation has built up in the process-wide sequences: the input, the line it
// is at, the open blocks, the labels numbered, the output, where messages go. Kept here, beside
// restart, so that the two cannot disagree on what a translation's state is.
struct translation_state {
  std::string_view input;
  int64_t line = 0;
  int64_t labels = 0;
  int err = 2;
  std::deque<Bx> blocks;
  std::string out;
};

// Take the translation's state out, leaving the core as restart leaves it, so that another
// translation can run in the middle of this one; put_back makes it go on as if none had.
translation_state set_aside();
void put_back(translation_state&& s);
