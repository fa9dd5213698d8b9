// nestasm-check's internals: what the checker knows of NASM's side of a line, its model of the
// preprocessor, and the state one check shares between its pass, explanations and warnings.
#pragma once

#include <algorithm>
#include <deque>
#include <unordered_map>

#include "check/check.h"
#include "cond/cond.h"

// --- what the checker knows of NASM's side of a line ------------------------------------------
// Names, registers, numbers and labels. None of it decides what nestasm does with a line; it
// only judges what NASM will make of the result.

// A byte that NASM allows inside an identifier. Inline: the checks of conditions ask it of most
// bytes they look at.
inline bool ident_byte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '.' || c == '$' || c == '#' || c == '@' || c == '~' || c == '?';
}

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

// A first word one edit from a statement word ("whlie", "esle"), or a statement word with
// punctuation glued to it ("end.", "Elif:"), where the rest of the line fits that statement: a
// condition after if, elif or while, nothing but a comment after else or end. `body` is the
// body of a plain line. `len` is how much of the first word the statement replaces; `glued`: the
// punctuation after it goes.
struct near_word {
  std::string_view meant;
  size_t len = 0;
  bool glued = false;
};
near_word near_statement(std::string_view body);

// The position of the first ";" in `s` outside single, double or back quotes, or npos.
size_t comment_at(std::string_view s);

// An operator of another language, or one of nestasm's misspelt, where a condition's operator
// goes: `=`, `=>`, `=<`, `<>`, `===`, `!==`, `≠`, `≤`, `≥`, or an unsigned operator not in
// capitals (`ult`). Quoted text is passed over.
struct lookalike {
  size_t at = 0, len = 0;  // where in the condition
  std::string_view meant;  // the operator meant
};
std::optional<lookalike> find_lookalike(std::string_view cond);

// `&&`, `||`, `and` or `or` joining two comparisons (an operator of `ops` on each side), outside
// quoted text: where and how long.
struct joint {
  size_t at = 0, len = 0;
};
std::optional<joint> find_joint(std::string_view cond);

// A condition written as another language writes one: in parentheses, followed by `{`, `:`,
// `then` or `do`. `bare` is the condition alone (a view into `cond`); empty when `cond` has
// none of these.
struct foreign {
  std::string_view bare;
  std::string_view what;  // "parentheses", "`{`", "`:`", "`then`", "`do`"
};
foreign find_foreign(std::string_view cond);

// Cheap tests that hold whenever find_lookalike, find_joint or find_foreign can find something in
// `cond` that their warnings act on; false lets a condition skip the full scan.
bool may_lookalike(std::string_view cond);
bool may_join(std::string_view cond);
bool may_be_foreign(std::string_view cond);

// The first word `name` standing alone (not inside a longer name) in `s` from `from`, or npos.
size_t word_at(std::string_view s, std::string_view name, size_t from = 0);

// --- NASM's preprocessor, as far as the file itself decides it --------------------------------

// A name the file defines for NASM: %define, %assign or %macro (and their forms), met so far.
struct nasm_def {
  std::string_view name;
  std::string_view value;  // what %define or %assign gives it; empty for a macro
  int64_t line = 0;
  bool macro = false;      // %macro or %imacro
  bool icase = false;      // %idefine, %iassign, %imacro: any case calls it
  bool told = false;       // a statement of this name was warned of
  bool maybe = false;      // met where the file does not decide whether NASM reads it (a %if
                           // branch it leaves open, a %macro body): decides no %ifdef
  std::string_view file;   // the %include'd file it stands in, as looked up; empty: this one
};

// One %if ... %endif of the file and its branch now.
struct region {
  int64_t line = 0;         // the %if, %elif or %else that began the branch
  std::string_view src;     // its text
  bool known = true;        // every branch so far was decided by the file
  bool taken = false;       // one of them was decided true
  bool skip = false;        // NASM skips this branch, as far as the file decides it
};

// --- within the checker: one check's state, shared by its pass, explanations and warnings -----

// The checker's record of one entry of stk, kept in step with it by the block events.
struct opened {
  int64_t line = 0;     // the if or while that began the construct (0-based)
  int64_t branch = 0;   // the if, elif or else that began the branch now open
  int64_t depth = 0;
  int kind = if_blk;
  bool deeper = false;  // a line of this branch had more markers than the block
  bool flat = false;    // a line of this branch had as many
  bool folded = false;  // an earlier warning told of this block's mistake: later ones that
                        // follow from it are folded into that one
  std::string_view branch_src;  // the text of line `branch`
  std::string_view open_src;    // the text of line `line`
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

// A label defined inside a block, whose warning waits for the block to close: only then is it
// known which of the label's uses lie outside the block.
struct label_wait {
  int64_t block = 0;      // the line that opened the block
  int64_t block_depth = 0;
  std::string_view block_src;
  int64_t line = 0;
  std::string_view src;
  std::string_view label;  // a view into src
  size_t at = 0;           // its slot
  opened b;                // the block as it was
};

struct check_run {
  const check_opts& o;
  diag_sink sink;
  void* ctx;
  check_result res;
  std::string_view text;      // the whole input
  std::vector<opened> open;   // the open blocks, as stk holds them
  std::vector<closed> last;   // by depth
  std::vector<opened> now;    // the blocks the line being translated closed by its depth
  closed_by now_how = closed_by::line;  // how the core says it closed them
  std::vector<int64_t> ended; // the blocks (their opening lines) it closed, by any way
  std::vector<diag> held;     // while something waits: a closed-by-line decision, a label's
                              // block, a region NASM skips; a placeholder (line -1) stands for
                              // the slot in its `status`
  std::vector<std::vector<diag>> slots;
  int holds = 0;              // the things waiting besides `pending`
  std::vector<diag>* into = nullptr;  // where put() sends diagnostics while a slot is filled
  std::vector<waiting> pending;
  std::vector<opened> gone;   // the blocks closed by the waiting lines
  std::vector<label_wait> labels;
  std::string_view line;      // the line being looked at
  int64_t ln = 0;             // its index
  int64_t depth = 0;          // its depth markers
  int64_t split_ln = -1;      // the line whose condition `split` holds
  cond_split split;
  bool nests = false;         // the if or while of this line opened its block inside
  opened inside;              // this one, at the same depth, after lines deeper than both

  // NASM's side.
  std::vector<nasm_def> defs;
  std::vector<region> regions;
  int64_t skip_from = -1;     // the outermost region whose branch NASM skips; -1: none
  size_t skip_open = 0;       // the blocks open when that branch began
  int64_t skip_slot = -1;     // the slot of its warning, once a block opened in it
  int64_t skip_line = 0;      // the %if, %elif or %else that began it
  std::string_view skip_src;
  std::string_view eol = "\n";  // how the input ends its lines, for the lines a fix adds
  // Made on the first label warning: where each line starts, and the places of the names the
  // text defines as labels.
  bool labels_indexed = false;
  std::vector<size_t> line_starts;
  std::unordered_map<std::string_view, std::vector<size_t>> label_words;
  size_t folded = 0;  // entries of `open` that are folded
  std::vector<std::pair<std::string_view, int64_t>> equs;  // names looked for as `NAME equ`,
                                                          // and the line of each (-1: none)
  bool cont = false;          // the line continues the one before, which ends in "\"
  bool cont_dir = false;      // ... and that line's logical line is a preprocessor directive
  int64_t cont_from = 0;      // the first line of the logical line
  std::vector<nasm_def> given;  // the names NASM's options define (-D), less those undefined
  std::deque<std::string> incs; // the text of each file %include'd and read, and its path
  bool unread = false;        // an %include was not read: the names it defines are not known
  int in_macro = 0;           // inside %macro ... %endmacro: NASM runs none of it here
  bool took = false;          // `given` was made from the options

  // First words that were meant to open a block (`whlie`): an end or else left without its
  // block then names them.
  struct slip {
    int64_t line = 0, depth = 0;
    std::string_view src, word, meant;
    std::vector<edit> fix;  // its rewrite
    std::string rewrite;
  };
  std::vector<slip> slips;
  bool deep = false;           // the last line looked at had more markers than its block gives
  int64_t closed_told = -1;    // the line whose closed-by-line warning told of its markers

  // Suggestions: the diagnostics of the text as it is, for comparing a suggestion with.
  bool base_made = false;
  std::vector<std::pair<int64_t, int>> base;  // (line, wname or -status)
  int64_t base_stop = -1;
  size_t spent = 0;           // bytes of text checked again for suggestions

  check_run(const check_opts& opts, diag_sink s, void* c) : o(opts), sink(s), ctx(c) {}

  // The 1-based column of `part`, a view into `line`.
  size_t col(std::string_view part) const {
    return static_cast<size_t>(part.data() - line.data()) + 1;
  }
  bool on(wname w) const { return !(o.off >> static_cast<int>(w) & 1u); }
  diag make(level l, int64_t at, std::string_view src, size_t c, size_t len, std::string text);
  // To the sink, into the slot being filled, or held while something waits.
  void put(diag&& d);
  bool holding() const { return !pending.empty() || holds > 0; }
  // A place in the held diagnostics for ones made later; `holds` must be raised first, or a
  // line be pending.
  size_t slot();
  // The held diagnostics to the sink once nothing waits; `force`: now, what waits is dropped.
  void release(bool force = false);
  // A warning about this line, from column `c` for `len` bytes. False when it is silenced, so
  // the caller leaves out its notes too.
  bool warn(wname w, size_t c, size_t len, std::string text, std::vector<edit> fix = {});
  // The same for a text of constant pieces, built without an allocation when it is the text of
  // the last such warning: one that can come on most lines of a file.
  bool warn(wname w, size_t c, size_t len, std::initializer_list<std::string_view> text);
  // An error about this line, with nestasm's message before `text`.
  void error(int status, size_t c, size_t len, std::string text, std::vector<edit> fix = {});
  // A note about line `at`, whose text is `s`.
  void note_at(int64_t at, std::string_view s, std::string text);
  // A note that goes on with the explanation of the last diagnostic, at its place, shown
  // without its source line.
  void say(std::string text);
  // Every held diagnostic to the sink; nothing waits any more.
  void flush() { release(true); }

  // Whether `fix`, applied to the text, makes the diagnostic (line `at`, 1-based; `what` a
  // wname, or minus an error's status) go away without drawing another: checked by running the
  // core on the changed text. When it does not, `why` says what it would do instead (empty when
  // it could not be checked), and `fix` is emptied. A suggestion the options leave unchecked
  // (check_opts::fixes, fixes_on) is not checked: its line goes in res.unchecked, and it is
  // told as one that could not be checked.
  bool holds_up(int64_t at, int what, std::vector<edit>& fix, std::string& why);
  std::pair<int64_t, int> failed;  // after holds_up fails: the first diagnostic it would draw
  // After holds_up succeeds: the line (1-based) where the changed text still stops, counted as
  // in the text as it is (0: a line the fix adds); -1 when it translates to the end.
  int64_t fix_stop = -1;
  // After holds_up succeeds although the changed text stops further down, at an error the fix
  // has nothing to do with: the note that names it, told after the diagnostic that offers the
  // fix. Empty otherwise.
  std::string then;

 private:
  diag cur;
  std::vector<std::string_view> cur_parts;
  // The place of the last warning or error, for say().
  int64_t put_line = 0;
  size_t put_col = 1, put_end = 2;
  std::string_view put_src;
};

// Mark `b` folded: the warnings that follow from its mistake belong to one told already.
inline void fold(check_run& c, opened& b) {
  if (!b.folded) {
    b.folded = true;
    ++c.folded;
  }
}

// The open block opened at line `line`, or null. The open blocks were opened in the order they
// stand in, so they are sought by halves: a look through all of them for each warning took 10 s
// on 50,000 nested blocks.
inline opened* open_block(check_run& c, int64_t line) {
  const auto b = std::lower_bound(c.open.begin(), c.open.end(), line,
                                  [](const opened& o, int64_t l) { return o.line < l; });
  return b != c.open.end() && b->line == line ? &*b : nullptr;
}

// The block observer: keeps check_run::open, last and now in step with stk.
void watch_blocks(const blk_event& e, void* run);

// "the if-block opened at line 3"; an elif branch is named by its elif.
std::string describe(const opened& b);
// "the if-block of line 3": shorter, for a headline.
std::string named(const opened& b);
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

// The waiting labels of blocks closed on this line, or of every block (`all`) when the input
// ends (`close`: the number of lines, where every block closes) or the translation stops
// (-1: where the blocks would have closed is not known).
void settle_labels(check_run& c, bool all, int64_t close = -1);
// After the last line: the warnings about blocks still open at the end.
void at_input_end(check_run& c);

// A plain line that starts with "%": follow the file's %if regions and its definitions.
void directive(check_run& c, const line_scan& s);
// Whether the condition of a %if of the form `form` ("", "def", "ndef", "idn", ...: the word
// after "%if" or "%elif") holds for `arg`: 1, 0, or -1 when the file does not decide it.
int decide(const check_run& c, std::string_view form, std::string_view arg);
// The last definition that NASM calls by `name`: of the file, or with `given` of the options too.
const nasm_def* def_named(const check_run& c, std::string_view name, bool given);
// NASM's options of check_opts taken in: the names they define.
void take_options(check_run& c);
// The file an `%include` names (its argument, comment cut off), read for the names it defines
// as NASM reads it: looked up in NASM's current folder, then in each -I folder. `nest`: how
// deep in includes this one stands (0: from the file checked).
void read_include(check_run& c, std::string_view arg, int nest, bool maybe);
// A %define, %assign or %macro (`w`, lower-cased, and the text after it) met in `file` (empty:
// the file checked) at line `line`, and %undef, %unmacro.
void define(check_run& c, std::string_view w, std::string_view rest, int64_t line,
            std::string_view file, bool maybe);

// The %if, %elif or %else whose branch NASM skips, as far as the file decides it, at the
// outermost; null when this line is read.
const region* skipped(const check_run& c);
// The text NASM skips ends at this line: tell of the blocks a statement in it opened and left
// open.
void skipped_ends(check_run& c);
// The definition of `name` that NASM would use here: %define, %assign, a macro, or `name equ`
// anywhere in the file (then `line` of the result is its line and `value` its value).
std::optional<nasm_def> defined(check_run& c, std::string_view name);

// "the `%if` of line 4 hides this `if` from NASM only": `src` the directive that began the text
// NASM skips, `s` the statement in it.
std::string hides(std::string_view src, int64_t line, const line_scan& s);

// Texts shared by the explanations and the warnings.
std::string num(int64_t n);
std::string markers(int64_t d);
std::string quoted(std::string_view s);
// The marker prefix that gives `depth` markers, written as `like` (a line of the file) writes
// its own: "& & " or "&& ".
std::string markers_like(std::string_view like, int64_t depth);
// The bytes at the start of `line` that a rewrite of its markers replaces: markers, spaces and
// tabs. A tab ends the markers for nestasm, so markers written after one are mended too, where
// new ones put before it would leave them to NASM.
size_t marker_run(std::string_view line);
// An edit that inserts `text` as a line of its own before line `at` (0-based), ended by `eol`.
edit insert_line(int64_t at, std::string text, std::string_view eol = "\n");
// An edit that removes line `at` (0-based) whole, its line end too.
edit remove_line(int64_t at);
// The comment line `at` (0-based; `src`, its text, a view into `text`) moved to the end of the
// line before it, when that is an instruction with no comment of its own: a comment line with
// fewer markers than the block around it closes the block, and one with markers reaches NASM
// whole. Empty when there is no such line.
std::vector<edit> comment_up(std::string_view text, int64_t at, std::string_view src);
// When line `at` (0-based; `src`, its text, a view into `text`) is a %if directive of any form:
// the lines of its %elif, %else and %endif, at its own nesting, and their texts; empty otherwise.
std::vector<std::pair<int64_t, std::string_view>> region_lines(std::string_view text, int64_t at,
                                                               std::string_view src);
// A ";" before each statement line after line `from` (0-based) and before line `to`, or, with
// `to` -1, up to where the %if branch that line `from` begins ends: what makes the statements
// of text NASM skips comments, which nestasm leaves alone.
std::vector<edit> comment_out(const check_run& c, int64_t from, int64_t to);

// --- shared by the explanations and the warnings ---------------------------------------------

// The wnames given, as a set.
template <class... W>
constexpr wset set_of(W... w) {
  return (wset{0} | ... | (wset{1} << static_cast<int>(w)));
}

// An edit of this line: bytes [col, col + len) become `text`.
inline edit here(const check_run& c, size_t col, size_t len, std::string text) {
  return edit{c.ln + 1, col, col + len, std::move(text)};
}

// The statement's word, as written.
inline std::string_view word_of(const line_scan& s) { return s.body.substr(0, s.word); }

// The suggestion `fix` for the diagnostic `what` of this line (a wname, or minus an error's
// status), checked: true when it holds; else `fix` is emptied and `why` says what it would do.
inline bool offer(check_run& c, int what, std::vector<edit>& fix, std::string& why) {
  return c.holds_up(c.ln + 1, what, fix, why);
}
inline bool offer(check_run& c, wname w, std::vector<edit>& fix, std::string& why) {
  return offer(c, static_cast<int>(w), fix, why);
}

// `s` up to its comment, trimmed.
std::string_view before_comment(std::string_view s);
// The condition `lhs op rhs` turned round: `rhs mirror lhs`, the right operand without the
// comment after it.
std::string turned_round(std::string_view lhs, const op_rec& op, std::string_view rhs);
// The edit that writes it in place of the condition of this line, whose text `lhs` and `rhs`
// view; a comment after it stays where it is.
edit mirrored(const check_run& c, std::string_view lhs, const op_rec& op, std::string_view rhs);

// `d` is what NASM calls by the word `w`: by its name, in any case for %idefine and %imacro.
bool calls(const nasm_def& d, std::string_view w);
// Tell that the word of the statement `s` is the macro `d`, as the diagnostic `what` (a wname,
// or minus an error's status), with the advice after it.
void tell_macro(check_run& c, int what, const line_scan& s, const nasm_def& d);

// After the diagnostic: why the suggestion `what` was not offered, when it was checked and
// failed.
inline void why_not(check_run& c, std::string_view what, const std::string& why) {
  if (!why.empty()) c.say(std::string(what) + " would not do: " + why);
}
