// nestasm-check's analysis: runs the translator's own line loop and explains where and why a
// translation fails, and which accepted lines almost certainly do not mean what they say.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class level { error, warning, note };

// The warnings, each with a stable name that -Wno-NAME silences.
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
inline constexpr int wname_count = 11;

std::string_view name_of(wname w);
std::optional<wname> wname_from(std::string_view name);

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
};

struct check_opts {
  unsigned off = 0;           // one bit per silenced wname
  bool lines = false;         // build the translation with NASM %line directives
  std::string_view file;      // the name %line gives NASM
  bool keep = false;          // leave the whole translation in out_thing, as translate_all does
};

struct check_result {
  int status = 0;        // what nestasm's translation ends with: 0, or a statement error
  int64_t stop = -1;     // index of the line it stopped at; -1 when it did not stop
  size_t warnings = 0;   // warnings reported (silenced ones not counted)
  std::string lines;     // with opts.lines and status 0: the translation with %line directives
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
// source line and a caret line under the columns it is about.
void format_text(std::string& to, std::string_view file, const diag& d);

// The same, written at `p`, which has room for text_room(file, d) bytes; returns the end.
size_t text_room(std::string_view file, const diag& d);
char* format_text(char* p, std::string_view file, const diag& d);

// A diagnostic as a JSON object, with no separator before or after it.
void format_json(std::string& to, std::string_view file, const diag& d);

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

// The operator that means the opposite order: ">" for "<", "ULE" for "UGE"; "==" and "!="
// stay.
std::string_view mirrored(std::string_view op);
