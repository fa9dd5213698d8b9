// nestasm-lsp: the Language Server Protocol over a byte stream. Each open document is checked by
// the checker's own pass (never a rule of its own), and its diagnostics, quick fixes, blocks and
// translation are shown to the editor.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "check/check.h"
#include "check/json_text.h"

using json = nlohmann::json;

// Member `k` of `o`, or null when `o` is no object or has none: the client's JSON is read with
// no exception and no assumption about its shape.
const json& get(const json& o, const char* k);

// --- framing: "Content-Length: N\r\n\r\n" and N bytes of JSON ---------------------------------

enum class frame {
  more,     // not complete yet: wait for more bytes
  message,  // a whole message: its body is set
  broken,   // a header that cannot be read: `pos` has moved past it
  too_big,  // a body longer than the server takes (`max_message`): `pos` is past it, and may be
            // past the bytes read so far; `why` says how long it is
};

// The longest message body the server reads. A didOpen carries the whole document, escaped (a
// tab or a quote takes two bytes): 128 MiB lets documents of tens of MiB open, with room for
// their escapes. The check of a document takes a few times its size, so a larger message would
// cost gigabytes; it is answered with an error and skipped as it arrives, never held.
constexpr size_t max_message = size_t{128} << 20;

// A buffer that grew past this for one large message is given back, not kept for the next.
constexpr size_t room_kept = size_t{1} << 20;

// The next message of `in` from `pos`; on `message` and `broken`, `pos` moves past what was
// taken. `why` says what was wrong with a broken header.
frame next_frame(std::string_view in, size_t& pos, std::string_view& body, std::string& why);

// `body` framed for the wire.
void put_frame(std::string& out, std::string_view body);

// --- documents --------------------------------------------------------------------------------

// One open document, as the editor last sent it, and what its last check found.
struct doc {
  std::string uri;
  std::string text;
  int64_t version = 0;
  std::vector<size_t> starts;  // where each line starts, as the translator cuts lines; one more
                               // entry for the end of the text
  // Where each of the protocol's lines starts, with one more entry for the end of the text, when
  // they are not the translator's: the protocol also ends a line at a lone "\r", which the
  // translator keeps inside its line. Empty when every "\r" ends a line for both.
  std::vector<size_t> proto;
  bool dirty = true;           // changed since its last check
  bool unpublished = true;     // its diagnostics are not sent since it changed

  // The last check: the diagnostics (notes after their error or warning), and what it read of
  // each line and block, with the translation.
  std::vector<diag> diags;
  check_result res;
  size_t checks = 0;  // checks run on it: a burst of changes costs one

  // Quick fixes, checked when a codeAction asks for them and kept until the text changes: the
  // lines whose suggestions were checked (ascending), and the diagnostics of those lines that
  // came with a fix that holds. The check above leaves every suggestion unchecked.
  std::vector<int64_t> fix_lines;
  std::vector<diag> fixed;
  size_t fix_checks = 0;  // checks run on it for quick fixes

  // NASM's verdict (round.cc): the name the translation's %line directives give NASM, set when
  // the server has NASM assemble its documents (empty: the check builds no such translation);
  // and NASM's diagnostics on this text, published after the core's once its round ended.
  std::string line_name;
  std::vector<diag> nasm;
};

// Lines of the text (the translator's count: a last line without "\n" counts).
inline int64_t line_count(const doc& d) { return static_cast<int64_t>(d.starts.size()) - 1; }

// Line `i` without its terminator ("\n", and one "\r" before it); empty past the end.
std::string_view line_at(const doc& d, int64_t i);

// Set `d`'s text and find its lines; it is to be checked again.
void set_text(doc& d, std::string text);

// Give the heap's free pages back to the system, after a large document or message is gone.
void give_back_heap();

// What line `i` (0-based) of the last check translated to, without the last line end; none
// for a line the translation did not reach or stopped at.
std::optional<std::string_view> translation_of(const doc& d, int64_t i);

// Run the check on `d` if its text changed since the last one. Leaves the translator's state
// behind, as a check does.
void analyse(doc& d);

// Check the suggestions of the diagnostics on lines `from` to `to` (1-based) that were not
// checked for this text yet, and keep what holds in d.fixed: one check of the text with those
// lines' suggestions checked, whatever the lines. Leaves the translator's state behind.
void check_fixes(doc& d, int64_t from, int64_t to);

// A position of the protocol: a line and a column counted in UTF-16 units, or in bytes when the
// client chose UTF-8.
struct pos {
  int64_t line = 0;
  int64_t ch = 0;
};

// The column of byte `b` of `line` (0-based), and back; columns past the end of the line give
// its end, as the protocol wants.
int64_t col_of(std::string_view line, size_t b, bool utf8);
size_t byte_of(std::string_view line, int64_t ch, bool utf8);

// --- the server -------------------------------------------------------------------------------

// NASM assembling one check's translation of a document, on a thread of its own, so that the
// loop goes on answering meanwhile (round.cc). Gone with the object: NASM stopped, the thread
// joined.
struct nasm_round {
  std::string uri;
  int64_t version = 0;
  size_t check = 0;         // the document's check (doc::checks) that made the translation
  std::string path;         // the document's file, for its project file; empty for none
  std::string name;         // the name the translation's %line directives give
  std::string translation;  // with %line directives
  nasm_opts opts;
  nasm_verdict got;         // read once `done`, after the thread is joined
  int stop[2] = {-1, -1};   // a byte written to stop[1] ends NASM's run at once
  int wake = -1;            // the loop's pipe, told when the verdict is in
  std::atomic<bool> done{false};
  pthread_t worker{};
  bool running = false;     // the thread was started and is not joined yet
  nasm_round() = default;
  nasm_round(const nasm_round&) = delete;
  nasm_round& operator=(const nasm_round&) = delete;
  ~nasm_round();
};

struct server {
  bool initialized = false;
  bool shut = false;     // shutdown answered: only exit is left
  int exit_status = -1;  // set by exit
  // What the client said it can do.
  bool utf8 = false;      // positions in bytes, not UTF-16 units
  bool related = false;   // diagnostics with relatedInformation
  bool tree = false;      // document symbols as a tree
  bool markdown = false;  // hover in markdown
  bool lost = false;      // bytes are being skipped after a broken header
  size_t skip = 0;        // bytes still to come of a message longer than max_message
  std::unordered_map<std::string, doc> docs;
  std::string in;  // bytes read and not yet handled, from `at`
  size_t at = 0;
  std::string out;  // framed messages to write

  // NASM's verdict in a second round after the core's diagnostics: run by the loop of `serve`
  // alone (`wake` is its pipe; -1, as for a server driven by handle and feed, runs none).
  bool assemble = true;         // off by --no-assemble or initializationOptions.assemble
  std::string nasm_path;        // the NASM to run; empty: nasm on PATH
  int nasm_timeout_ms = 10000;  // a run past this is stopped and logged
  bool nasm_gone = false;       // NASM was not found: no more rounds
  int wake = -1;
  std::vector<std::unique_ptr<nasm_round>> rounds;
  std::string logged;           // the last message logged, which is not logged twice in a row
};

// Handle one message body (JSON-RPC 2.0): answer a request, or act on a notification.
void handle(server& s, std::string_view body);

// Append `bytes` to what was read, and handle every message that is complete.
void feed(server& s, std::string_view bytes);

// Send the diagnostics of every document that changed since they were last sent.
void publish(server& s);

// The diagnostics of `d` as its last check and NASM's round left them, published as they are.
void send_published(server& s, const doc& d);

// What the command line says of NASM's round.
struct serve_opts {
  bool assemble = true;
  std::string nasm;  // --nasm=PATH
};

// Serve on `in` and `out` until exit or the end of the input: every message already waiting is
// handled before diagnostics are published, so a burst of changes costs one check; NASM's
// verdicts that came in meanwhile are published then too. Returns the exit status: 0 after
// shutdown, 1 without.
int serve(int in, int out, const serve_opts& o = {});

// --- NASM's round (round.cc) ------------------------------------------------------------------

// The settings of initialize's initializationOptions: "assemble" (false turns the round off),
// "nasm" (the NASM to run), "nasmTimeout" (ms).
void read_settings(server& s, const json& options);
// Whether documents are assembled: a loop runs rounds, the settings leave them on, NASM is there.
bool rounds_on(const server& s);
// The name %line gives the translation of the document at `uri`: its file's name.
std::string line_name_of(std::string_view uri);
// After the core's diagnostics of `d` went out: have NASM assemble its translation, when it
// stands (a translation that stopped at a statement error gets no round).
void begin_round(server& s, doc& d);
// Stop the round of the document at `uri`, or every round: NASM killed, the thread joined.
void drop_round(server& s, std::string_view uri);
void drop_rounds(server& s);
// Publish the verdicts that came in, for documents still at the version assembled; log why
// there is none where NASM is missing, failed or ran too long.
void take_rounds(server& s);

// --- the features, on a document that is analysed ---------------------------------------------

// The document's diagnostics as a JSON array, written at the end of `o`.
void put_diagnostics(std::string& o, const server& s, const doc& d);

// The error or warning d.diags[i] with the notes that follow it, as a JSON object at the end of
// `o`; `i` moves past them.
void put_diag(std::string& o, const server& s, const doc& d, size_t& i);

// The answers, written as JSON text at the end of `o`; the json forms below parse that text.
// The quick fixes of the diagnostics in the request's range; suggestions not checked yet for
// this version of the text are checked first, and the verdicts kept in `d`.
void put_code_actions(std::string& o, const server& s, doc& d, const json& params);
void put_folding(std::string& o, const server& s, const doc& d);
void put_highlights(std::string& o, const server& s, const doc& d, pos p);
void put_symbols(std::string& o, const server& s, const doc& d);
// Inlay hints at the lines of the request's range that close blocks, naming what they close.
void put_inlay_hints(std::string& o, const server& s, const doc& d, const json& params);
// Semantic tokens of the whole text, or of the request's range: markers, statement words and
// the operator a condition is split at. `tokens_capability` is their legend, as JSON text.
void put_tokens(std::string& o, const server& s, const doc& d, const json& params, bool ranged);
extern const char tokens_capability[];
json code_actions(const server& s, doc& d, const json& params);
json folding(const server& s, const doc& d);
json highlights(const server& s, const doc& d, pos p);
json definition(const server& s, const doc& d, pos p);
json symbols(const server& s, const doc& d);
json hover(const server& s, const doc& d, pos p);

// The translation the last check made, as nestasm/translation answers it: {text, starts}, where
// starts[i] is the first output line (0-based) of source line i and one more entry the number of
// output lines; with "stopped": the line the translation stopped at, the text ending before it.
void put_translation(std::string& o, const doc& d);
json translation(const doc& d);

// Edits of the markers, as arrays of TextEdits: on typing `ch` at `at` (Enter: the new line's
// markers, and those of an end, elif or else it left at the wrong depth); the formatter's
// layout of lines `first` to `last`.
void put_on_type(std::string& o, const server& s, const doc& d, pos at, std::string_view ch);
void put_formatting(std::string& o, const server& s, const doc& d, int64_t first, int64_t last);
// The lines a protocol range selects, from 0: false when it has no lines.
bool selected_lines(const server& s, const doc& d, const json& range, int64_t& first,
                    int64_t& last);
// "One level deeper" and "One level shallower" for the lines of the request's range, added to
// the array of code actions at the end of `o`, where the request's "only" wants them.
void put_shift_actions(std::string& o, const server& s, const doc& d, const json& params);

// --- what the features share ------------------------------------------------------------------

// Every position goes through these three, so that the server's lines are the protocol's while
// the facts it shows are counted in the translator's lines.
// The protocol's position of byte `b` of line `line` (0-based, the translator's). A line past
// the last one is the end of the text: the empty line after a final line end, or the end of a
// last line that has none.
pos where(const server& s, const doc& d, int64_t line, size_t b);
// The byte offset in the text of the protocol's position `p`; the end of the text past it.
size_t offset_at(const server& s, const doc& d, pos p);
// The translator's line and byte column of the protocol's position `p`; a line past the last
// one is a line past the translator's last one too.
pos source_of(const server& s, const doc& d, pos p);
void put_position(std::string& o, pos p);
// The protocol's range of bytes [b, e) of line `line`, as a value or written at the end of `o`;
// and from byte `b` of `line` to byte `e` of line `last`.
json range_of(const server& s, const doc& d, int64_t line, size_t b, size_t e);
void put_range(std::string& o, const server& s, const doc& d, int64_t line, size_t b, size_t e);
void put_span(std::string& o, const server& s, const doc& d, int64_t line, size_t b, int64_t last,
              size_t e);

// The diagnostic's code as the client is shown it: "status N" for an error, a warning's name;
// empty for none.
std::string code_of(const diag& g);

// The translator's lines from the first to the last line of the request's range, both included;
// all of them without one.
void lines_asked(const server& s, const doc& d, const json& params, int64_t& from, int64_t& to);

// What the last check read of line `i`; a blank line's facts for a line it has none of.
const line_fact& fact_of(const doc& d, int64_t i);
// The range of the keyword of line `i`, a statement line.
void put_word(std::string& o, const server& s, const doc& d, int64_t i);
json word_range(const server& s, const doc& d, int64_t i);

// Line `i` (0-based) as the editor counts it, from 1.
inline std::string num1(int64_t i) { return std::to_string(i + 1); }

// --- the requests on a document, one row each (features.cc) ----------------------------------

// JSON-RPC's and the protocol's error codes.
enum : int {
  parse_error = -32700,
  invalid_request = -32600,
  no_method = -32601,
  invalid_params = -32602,
  not_initialized = -32002,
};

// Big answers are written as JSON text, straight into the message: `answer::text` holds the
// result after `head` bytes of room that the header and the start of the message take.
constexpr size_t head = 64;

// An answer: a result, or an error when `code` is set.
struct answer {
  json result;
  int code = 0;
  std::string message;
  std::string text;  // the result as JSON text, after `head` bytes of room, when not empty
  answer(json r) : result(std::move(r)) {}
  answer(int c, std::string m) : code(c), message(std::move(m)) {}
};
inline answer error(int code, std::string message) { return answer(code, std::move(message)); }

// A request on one document, with the capability initialize announces for it: a feature is its
// handler and its row in feature_table().
struct feature {
  std::string_view method;
  const char* capability;  // its name in initialize's capabilities; null when an earlier
                           // row's announces it too
  const char* value;       // and its value, as JSON text
  answer (*on)(server& s, doc& d, const json& params);  // on the analysed document
};
std::span<const feature> feature_table();

// A protocol position read from `p` as it came.
bool read_pos(const json& p, pos& at);
