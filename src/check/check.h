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

#include "cond/cond.h"
#include "scan/scan.h"

enum class level { error, warning, note };

// The warnings, one line each, in the order their checks run on a line (on a line of two
// warnings, the one first here is told first): this list makes both the wname of each and the
// table of their records (warn.cc), whose record NAME_w stands beside its check.
#define NESTASM_WARNINGS(X) \
  X(confusable_character)   \
  X(closed_by_line)         \
  X(statement_macro)        \
  X(skipped_statement)      \
  X(continued_markers)      \
  X(tab_before_marker)      \
  X(not_a_statement)        \
  X(keyword_label)          \
  X(misspelt_statement)     \
  X(extra_markers)          \
  X(label_in_block)         \
  X(missing_end)            \
  X(operator_lookalike)     \
  X(compound_condition)     \
  X(foreign_syntax)         \
  X(comment_in_condition)   \
  X(operator_in_name)       \
  X(defined_name)           \
  X(number_on_left)         \
  X(lowered_name)           \
  X(open_at_end)            \
  X(else_text)              \
  X(marker_on_comment)

enum class wname : int {
#define NESTASM_WNAME(name) name,
  NESTASM_WARNINGS(NESTASM_WNAME)
#undef NESTASM_WNAME
  count,  // not a warning: how many there are
};
inline constexpr size_t wcount = static_cast<size_t>(wname::count);

// A set of wnames, one bit each.
using wset = uint64_t;
static_assert(wcount <= 64, "a wset holds every wname");

// A change to the input that a diagnostic suggests, mechanical enough for an editor to apply:
// the bytes from line `line`, column `col` up to, not including, line `end_line`, column
// `end_col` (1-based lines and byte columns; end_line 0 is `line` itself) become `text`. An
// insertion has end_col == col; a whole new line is inserted before line `line` as `text`
// ending in "\n", at column 1; a whole line is removed from its column 1 to column 1 of the
// line after it.
struct edit {
  int64_t line = 0;
  size_t col = 0;
  size_t end_col = 0;
  std::string text;
  int64_t end_line = 0;
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
  bool echo = true;       // show the source line and caret; false for a note that goes on with
                          // the explanation of the diagnostic before it, at its place
  bool nasm = false;      // NASM's verdict on the translation, not nestasm's or a warning
  std::vector<edit> fix;  // the suggested change, when there is a mechanical one: checked
                          // through the core before it is offered, so that, applied, this
                          // diagnostic is gone; empty while it is unchecked
};

struct check_opts {
  wset off = 0;               // one bit per silenced wname
  bool lines = false;         // build the translation with NASM %line directives
  std::string_view file;      // the name %line gives NASM
  bool keep = false;          // leave the whole translation in out_thing, as translate_all does
  bool blocks = false;        // record every block in check_result::blocks, and the output
                              // each line made in check_result::made (with keep)
  bool fixes = true;          // offer suggestions as edits, each checked through the core first
  // With fixes: check only the suggestions of the diagnostics on these lines (1-based,
  // ascending); the others go unchecked, as when fixes is false. The same text checked with
  // these lines gives them the diagnostics a check of every suggestion gives them, while the
  // budget of fix.cc lasts: what a suggestion is checked against is the whole text, never the
  // verdicts on other lines.
  const std::vector<int64_t>* fixes_on = nullptr;
  // NASM's options as the build gives them: "-DNAME[=VALUE]", "-UNAME" and "-IDIR" decide
  // %ifdef and %if of those names and where %include looks (`nasm_cwd`, or this process's
  // folder when empty, then each -I); other words are passed over. `nasm_known`: they came from
  // somewhere (command line, project file, compile_commands.json) and are taken as the build's
  // whole set, so a name that neither they nor the file define is undefined to %ifdef.
  const std::vector<std::string>* nasm_args = nullptr;
  std::string_view nasm_cwd;
  bool nasm_known = false;
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

// What the translation read of one line, with check_opts::blocks, for a reader (the language
// server) that shows it without taking the line apart again: 28 bytes a line. Sizes are 32-bit;
// the server's documents are far below 4 GiB.
struct line_fact {
  uint32_t at = 0;      // where its body starts: the marker prefix and the blanks after it
  uint32_t body = 0;    // bytes of the body, trimmed
  uint32_t word = 0;    // a statement's: bytes of its keyword as written; 0 for other lines
  uint32_t label = 0;   // a plain line that defines a label ("name:" at the body's start, as
                        // NASM reads it): the name's bytes; 0 when it defines none
  int32_t depth = 0;    // its depth markers
  int32_t block = -1;   // the block it opens, branches or ends by its own end, as an index into
                        // check_result::blocks; -1 for any other line
  stmt kind = stmt::blank;

  // The kinds of block by name ("if-block" for if_blk ...), for any text that names one.
  static constexpr std::string_view block_word[] = {"if-block", "else-block", "while-block"};
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
  std::vector<int64_t> unchecked;  // the lines (1-based, ascending, once each) of diagnostics
                                   // that have a suggestion left unchecked: without fixes, or
                                   // not on a line of fixes_on; shown without it
  // With opts.blocks: each line of the input as the translation read it (the lines after the
  // one it stopped at as it would have read them); and for each of `blocks`, the last line
  // inside it, its own end not counted: the line before the one that closed it, or before the
  // one the translation stopped at.
  std::vector<line_fact> facts;
  std::vector<int64_t> reach;
  std::string out;  // with opts.blocks and keep: the translation, as out_thing holds it
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
// source line and a caret line under the columns it is about (not with `brief`, nor for a note
// whose `echo` is false); written at `p`, which has room for text_room(file, d) bytes. Returns
// the end.
size_t text_room(std::string_view file, const diag& d);
char* format_text(char* p, std::string_view file, const diag& d, bool brief = false);

// `text` with the edits of `fix` made, as an editor makes them.
std::string apply_fix(std::string_view text, std::span<const edit> fix);

// A diagnostic as a JSON object, with no separator before or after it.
void format_json(std::string& to, std::string_view file, const diag& d);

// --- NASM's verdict on the translation ------------------------------------------------------

struct nasm_opts {
  std::string path;               // the NASM to run; empty: "nasm" on PATH
  std::vector<std::string> args;  // NASM's own options, passed on: -f, -I, -D, -w
  int timeout_ms = 10000;         // a run past this is stopped, and its verdict left out
  std::string cwd;                // the folder NASM runs in, as the build runs it; empty: ours
  int stop_fd = -1;               // when readable: NASM is stopped at once and there is no
                                  // verdict (a caller whose translation went out of date)
};

// One message of NASM's about a line of the source.
struct nasm_said {
  int64_t line = 0;
  level lvl = level::error;
  std::string text;  // NASM's words
};

struct nasm_verdict {
  bool ran = false;               // NASM ran on the translation to its end
  bool missing = false;           // ... or was not found
  bool depends = false;           // without -f: some formats reject it and others not (not
                                  // told on the command line: a correct 64-bit program is so)
  std::vector<nasm_said> said;    // what it says of the source's lines (without -f: what every
                                  // format says)
  std::vector<std::string> others;  // its lines about no line of the source, the first few
  std::string note;               // why there is no verdict, when there is none
};

// Assemble `translation`, written with %line directives naming `file`, in a private folder
// that is gone afterwards; never beside the user's files. Without -f among the options it is
// assembled as bin, elf32 and elf64, and what all three say is kept.
nasm_verdict assemble(std::string_view translation, std::string_view file, const nasm_opts& o);

// NASM's options from the project file `.nestasm` in the folder of `path` or the nearest one
// above it: its line "nasm = OPTIONS" gives them as the build gives them to NASM (-f, -I, -D,
// -w), a relative -I counted from the file's folder. Nothing when there is no such file.
std::vector<std::string> project_args(std::string_view path, std::string* where = nullptr);

// The verdict as diagnostics about `text`, the source (which they view): each of NASM's
// messages at its line, and where the notation made it so, why.
std::vector<diag> nasm_diags(const nasm_verdict& v, std::string_view text,
                             std::string_view translation);

// The suggestions of `ds`, the diagnostics of `text`, followed through NASM: one that leaves NASM
// rejecting a line it changes, or a line before it that `before` (the verdict on `text`, null
// when it stopped) did not reject and before the first it did, is withdrawn, its headline's
// rewrite with it, and a note says what NASM would say. `o` and `n` as the check and assembly of
// `text` had them.
void nasm_fixes(std::vector<diag>& ds, std::string_view text, const nasm_verdict* before,
                const check_opts& o, const nasm_opts& n);

// --- the warnings, one record each ----------------------------------------------------------

struct check_run;

// The lines a warning's check looks at.
enum class looks_at {
  next_line,  // the next line that is not blank, after one that closed blocks by its depth
  plain,      // plain assembly
  condition,  // if, elif and while
  else_line,  // else
  blank,      // blank and comment lines
  statement,  // every statement line, before the checks of its kind
  input_end,  // the end of the input, before the blocks still open are closed
};

// A set of looks_at, for a check that looks at more than one kind of line.
constexpr unsigned on(looks_at a) { return 1u << static_cast<int>(a); }
constexpr unsigned on(looks_at a, looks_at b) { return on(a) | on(b); }

struct warning_rec {
  wname id;
  std::string_view name;     // for -Wno-NAME and [NAME]
  unsigned on;               // the lines it looks at: on(looks_at...)
  // Looks at the line just translated and warns. True when it found on the line what it looks
  // for (told, or silenced by -Wno-): then the checks of `quiets` do not look at that line.
  bool (*check)(check_run& c, const line_scan& s);
  std::string_view fires;    // an input on which it warns
  std::string_view quiet;    // the nearest input on which it stays quiet
  wset quiets;               // what its finding leaves nothing to add to: checks that run after it
  std::string_view doc;      // what it warns of, in one sentence: the manual page and
                             // docs/checker.md say it so, `code` in backquotes
};

// Every warning, in the order its checks run on a line.
std::span<const warning_rec> warning_table();
const warning_rec& warning_of(wname w);
std::string_view name_of(wname w);
std::optional<wname> wname_from(std::string_view name);
