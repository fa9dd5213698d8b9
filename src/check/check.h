// nestasm-check's analysis: runs the translator's own line loop and explains where and why a
// translation fails, and which accepted lines almost certainly do not mean what they say.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "scan/scan.h"

enum class level { error, warning, note };

// The warnings, in the order of their records in warning_table().
enum class wname : int {
  missing_end,
  closed_by_line,
  else_text,
  not_a_statement,
  operator_in_name,
  comment_in_condition,
  marker_on_comment,
  tab_before_marker,
  lowered_name,
  label_in_block,
  number_on_left,
};

// A change to the input that a diagnostic suggests, mechanical enough for an editor to apply:
// the bytes of line `line` (1-based) from column `col` up to, not including, `end_col` (1-based
// byte columns) become `text`. An insertion has end_col == col; a whole new line is inserted
// before line `line` as `text` ending in "\n", at column 1.
struct edit {
  int64_t line = 0;
  size_t col = 0;
  size_t end_col = 0;
  std::string text;
};

// One message about one place in the input.
struct diag {
  level lvl = level::note;
  int64_t line = 0;       // 1-based; 0 when it is about the file as a whole
  size_t col = 0;         // 1-based byte column; 0 with line 0
  size_t end_col = 0;     // one past the last byte the message is about
  int name = -1;          // a warning's wname
  int status = 0;         // an error's: the status nestasm exits with
  std::string text;
  std::string_view src;   // the source line, for the caret; valid while the sink runs
  std::vector<edit> fix;  // the suggested change, when there is a mechanical one: checked
                          // through the core before it is offered, so that, applied, this
                          // diagnostic is gone
};

struct check_opts {
  unsigned off = 0;           // one bit per silenced wname
  bool lines = false;         // build the translation with NASM %line directives
  std::string_view file;      // the name %line gives NASM
  bool keep = false;          // leave the whole translation in out_thing, as translate_all does
  bool blocks = false;        // record every block in check_result::blocks, and the output
                              // each line made in check_result::made (with keep)
};

// One construct as the translation saw it: where it opened, branched and was closed.
struct block_info {
  int kind = if_blk;              // if_blk or while_blk: the statement that opened it
  int64_t depth = 0;
  int64_t open = 0;               // index of its if or while line
  std::vector<int64_t> branches;  // indices of its elif and else lines, in order
  bool has_else = false;          // the last of `branches` is an else
  int64_t close = -1;             // the line that closed it (the number of lines: the end of
                                  // the input); -1 when the translation stopped first
  closed_by how = closed_by::end;
  int64_t parent = -1;            // the block it is in, as an index into the same list
};

struct check_result {
  int status = 0;        // what nestasm's translation ends with: 0, or a statement error
  int64_t stop = -1;     // index of the line it stopped at; -1 when it did not stop
  size_t warnings = 0;   // warnings reported (silenced ones not counted)
  std::string lines;     // with opts.lines and status 0: the translation with %line directives
  std::vector<block_info> blocks;  // with opts.blocks: every block, in the order opened
  std::vector<size_t> made;        // with opts.blocks and keep: where in out_thing the output
                                   // of each line starts; one more entry for the end of input,
                                   // and a last one for the end of the output
};

// Called for each diagnostic, in the order they are to be shown; a warning's or an error's
// notes follow it.
using diag_sink = void (*)(const diag& d, void* ctx);

// Check `text`, a whole input, as nestasm translates it. Uses and leaves behind the translator's
// state (file_lines, out_thing, stk ...), as a translation does.
check_result check_text(std::string_view text, const check_opts& opts, diag_sink sink, void* ctx);

// The same, collecting the diagnostics.
check_result check_text(std::string_view text, const check_opts& opts, std::vector<diag>& out);

// A diagnostic the way compilers print them: "FILE:LINE:COL: level: TEXT [NAME]", then the
// source line and a caret line under the columns it is about; written at `p`, which has room
// for text_room(file, d) bytes. Returns the end.
size_t text_room(std::string_view file, const diag& d);
char* format_text(char* p, std::string_view file, const diag& d);

// A diagnostic as a JSON object, with no separator before or after it.
void format_json(std::string& to, std::string_view file, const diag& d);

// --- the warnings, one record each ----------------------------------------------------------

struct check_run;

// The lines a warning's check looks at.
enum class looks_at {
  next_line,  // the next line that is not blank, after one that closed blocks by its depth
  plain,      // plain assembly
  condition,  // if, elif and while
  else_line,  // else
  blank,      // blank and comment lines
};

struct warning_rec {
  wname id;
  std::string_view name;     // for -Wno-NAME and [NAME]
  looks_at on;
  // Looks at the line just translated and warns. True when it warned and the line's later
  // checks have nothing to add.
  bool (*check)(check_run& c, const line_scan& s);
  std::string_view fires;    // an input on which it warns
  std::string_view quiet;    // the nearest input on which it stays quiet
};

// Every warning, in the order its checks run on a line.
std::span<const warning_rec> warning_table();
const warning_rec& warning_of(wname w);
std::string_view name_of(wname w);
std::optional<wname> wname_from(std::string_view name);

// --- what the checker knows of NASM's side of a line ------------------------------------------
// Names, registers, numbers and labels. None of it decides what nestasm does with a line; it
// only judges what NASM will make of the result.

// A byte that NASM allows inside an identifier.
bool ident_byte(char c);

// `w`, in lower case, is a register, a size or an operand keyword that NASM reads in any case.
bool nasm_word(std::string_view lower);

// The first name in `operand` that holds a capital and is none of nasm_word; empty when none.
// Quoted text and numbers are passed over.
std::string_view capital_name(std::string_view operand);

// `s` is an immediate to NASM although nestasm does not read it as a number: "10h", "0b101",
// "-1", "$1F", "1_000", "\"a\"" and the like.
bool nasm_number(std::string_view s);

// The label that a line of plain assembly defines ("name:" at its start), or empty.
std::string_view label_of(std::string_view body);

// For a first word that looks like a statement of another language ("endif", "elsif", "fi"),
// the statement meant ("end", "elif"); empty otherwise. `word` is as written.
std::string_view meant_statement(std::string_view word);

// The position of the first ";" in `s` outside single, double or back quotes, or npos.
size_t comment_at(std::string_view s);

// --- within the checker: one check's state, shared by its pass, explanations and warnings -----

// The checker's record of one entry of stk, kept in step with it by the block events.
struct opened {
  int64_t line = 0;     // the if or while that began the construct (0-based)
  int64_t branch = 0;   // the if, elif or else that began the branch now open
  int64_t depth = 0;
  int kind = if_blk;
  bool deeper = false;  // a line of this branch had more markers than the block
  bool flat = false;    // a line of this branch had as many
  std::string_view branch_src;  // the text of line `branch`
  size_t info = 0;      // its entry in check_result::blocks, with opts.blocks
};

// The last block opened at some depth that was closed, and what closed it.
struct closed {
  opened b;
  int64_t by = -1;  // the line that closed it; -1: none yet
  std::string_view by_src;
  closed_by how = closed_by::line;
  int64_t by_depth = 0;
};

// A line that closed blocks by depth, waiting for the next line that is not blank to tell
// whether it was meant to stay inside one of them.
struct waiting {
  int64_t line = 0;
  std::string_view src;
  size_t at = 0;  // where in the held diagnostics its warning goes
  closed_by how = closed_by::line;
  int64_t depth = 0;
  size_t from = 0, to = 0;  // the blocks it closed, innermost first, in check_run::gone
};

struct check_run {
  const check_opts& o;
  diag_sink sink;
  void* ctx;
  check_result res;
  std::vector<opened> open;   // the open blocks, as stk holds them
  std::vector<closed> last;   // by depth
  std::vector<opened> now;    // the blocks the line being translated closed by its depth
  std::vector<diag> held;     // while a closed-by-line decision waits for the next line
  std::vector<waiting> pending;
  std::vector<opened> gone;   // the blocks closed by the waiting lines
  std::string_view line;      // the line being looked at
  int64_t ln = 0;             // its index
  int64_t depth = 0;          // its depth markers

  check_run(const check_opts& opts, diag_sink s, void* c) : o(opts), sink(s), ctx(c) {}

  // The 1-based column of `part`, a view into `line`.
  size_t col(std::string_view part) const {
    return static_cast<size_t>(part.data() - line.data()) + 1;
  }
  bool on(wname w) const { return !(o.off >> static_cast<int>(w) & 1u); }
  diag make(level l, int64_t at, std::string_view src, size_t c, size_t len, std::string text);
  // To the sink, or held while a line waits.
  void put(diag&& d);
  // A warning about this line, from column `c` for `len` bytes. False when it is silenced, so
  // the caller leaves out its notes too.
  bool warn(wname w, size_t c, size_t len, std::string text);
  // The same for a text of constant pieces, built without an allocation when it is the text of
  // the last such warning: one that can come on most lines of a file.
  bool warn(wname w, size_t c, size_t len, std::initializer_list<std::string_view> text);
  // An error about this line, with nestasm's message before `text`.
  void error(int status, size_t c, size_t len, std::string text);
  // A note about line `at`, whose text is `s`.
  void note_at(int64_t at, std::string_view s, std::string text);
  // Every held diagnostic to the sink; nothing waits any more.
  void flush();

 private:
  diag cur;
  std::vector<std::string_view> cur_parts;
};

// The block observer: keeps check_run::open, last and now in step with stk.
void watch_blocks(const blk_event& e, void* run);

// "the if-block opened at line 3"; an elif branch is named by its elif.
std::string describe(const opened& b);
// A note at the line that opened `b`'s branch.
void note_opened(check_run& c, const opened& b);
// A note at the line that closed the block in `gone`.
void note_closed(check_run& c, const closed& gone);
// The block opened at `depth` that a statement on this line was most likely meant for, when
// something closed it earlier: the last one closed at that depth, opened after the block that
// is open now.
const closed* closed_before(const check_run& c, int64_t depth);

// Explain the statement error `status` that the line `s` raised.
void explain(check_run& c, int status, const line_scan& s);

// Run the checks of the warnings that look at lines of the kind `on`.
void run_checks(check_run& c, looks_at on, const line_scan& s);

// Texts shared by the explanations and the warnings.
std::string num(int64_t n);
std::string markers(int64_t d);
std::string quoted(std::string_view s);
