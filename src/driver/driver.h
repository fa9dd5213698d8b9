// The driver: reading the input, and writing the output beside it and to standard output.
#pragma once

#include <cerrno>
#include <csignal>
#include <memory>
#include <string>
#include <string_view>
#include <vector>
#include <sys/stat.h>

#include "common/common.h"

// --- reading -------------------------------------------------------------------------------

// Read the file at `path` into file_lines. False when it cannot be opened or read.
bool read_input(const char* path);

// The bytes of file_lines before `upto` are not read again: let their memory go.
void drop_input(size_t upto);

// The input path with the last extension of its final component replaced by ".asm".
// For instance out_path("work.d/prog") returns "work.d/prog.asm".
std::string out_path(std::string_view in);

// True when writing `out` would write over the input file that read_input read.
bool names_input(const std::string& out, std::string_view in);

// True when the input file is still as read_input found it (its size and modification time):
// a file changed or cut short while it was translated may have been read torn.
bool input_unchanged();

// The status a run ends with once the translation returned `translated` (0 or a statement
// error), `same` when the output path names the input: an input that changed while it was read, then the
// statement error, then an output path that names the input (nestasm translates first and only
// then refuses to write over its input); 0 when the output is to be written. One order, so that
// nestasm-check says what nestasm does.
int verdict(int translated, bool same);

// --- ending early ----------------------------------------------------------------------------

// A mapped input that another process cuts short raises SIGBUS on the first page past its new
// end. Register the map at `p`, `n` bytes long, in place of any before it: a fault inside it ends
// the run "cant open".
void watch_map(const void* p, size_t n);

// Set up how the run ends when it is stopped from outside or runs out of memory: a signal that
// ends it, or memory that cannot be had ("no memory", status 15), first removes the named file
// this run has made and puts back a file it was writing in place. A file size limit makes
// writes fail instead of ending the run. Call once, first thing.
void guard_signals();

// While one of these lives, the signals that stop a run wait, so that a name made or moved and
// what is noted below about it change together, and an early end undoes what is on disk. When it
// goes, the signal mask is as it was: a signal the caller blocked stays blocked.
struct held_signals {
  held_signals();
  ~held_signals();
  held_signals(const held_signals&) = delete;
  held_signals& operator=(const held_signals&) = delete;
  sigset_t was;
};

// `name` in the folder `dir` is this run's own file, to be removed if the run ends early.
void note_temp(int dir, const char* name);
void drop_temp();
// The file `fd` is being written in place over `n` old bytes at `old`, with the old access and
// modification times `times`: an early end writes them back.
void note_restore(int fd, const char* old, size_t n, const struct timespec* times);
// Write the noted old content back now, as an early end would; the note is dropped.
void put_back();
void drop_restore();

// --- writing -------------------------------------------------------------------------------

// The ways of writing the output file. The plan names the one tried first; a way that refuses
// passes to the next, in the order of `ways` in publish.cc.
enum class way {
  staged,    // built in an unnamed file in the output's folder, named and swapped in when done
  beside,    // written to a named file beside the output and renamed over it (the output built
             // in memory, where no unnamed file can be made)
  in_place,  // written into the existing file itself (one that no new file can stand in for: a
             // hard link shared with other names, another owner's file that cannot be given
             // away, a folder without room or write access)
  created,   // made at the output path itself, where no file is yet and none could be named
             // beside it
  device,    // a character device (/dev/null), written as it is
  none,      // nothing may be written there (a FIFO, a socket, a folder, a link not to be
             // followed): the run ends "cant write"
};

// What a way's begin or write came to, in one vocabulary for every way.
enum class wrote {
  ok,       // begun: its file is ready; written: the output file is complete
  failed,   // writing failed (a write, a flush, a close, a name that could not be moved); the
            // old file is as it was, and no other way is tried: it would fail the same
  refused,  // this way cannot be used for this file (no file or name of its kind can be made
            // there, the old owner cannot be kept, the file is not of its kind) and it left
            // nothing behind; the next way is tried
};

// The output file and what is known of it before it is written. Every name is taken relative
// to the folder held open in `dir`, so a folder renamed meanwhile cannot move the output.
struct out_plan {
  way how = way::none;
  int dir = -1;        // the folder of the file written: the output's, or a link's target's
  std::string name;    // the file written, in `dir`
  bool exists = false;
  struct stat old {};  // the file there now, when it exists
};

// The finished output, as the ways write it to their file and the echo to standard output:
// `text`, or the first `len` bytes of the staging file, read through `fd`.
struct out_bytes {
  std::string_view text;
  int fd = -1;
  size_t len = 0;

  size_t size() const { return fd >= 0 ? len : text.size(); }
  // All of it to `to`, from `to`'s current position. False when a write fails, or when the
  // staging file holds less than it did (someone else cut it short once it had a name).
  bool put(int to) const;
};

// True when the file that writing `out` replaces, found as prepare_output finds it, is the file
// `dev`, `ino`.
bool writes_over(const std::string& out, dev_t dev, ino_t ino);

// Write the finished output to standard output. False when that fails.
bool echo_output(const out_bytes& made);

// Make sure descriptors 0, 1 and 2 are open, so that no file opened later takes one of their
// numbers; remember whether standard output was closed.
void guard_fds();

// --- the ways of writing -------------------------------------------------------------------
//
// One type per way, each owning its descriptor and what it must undo, all of one shape:
//
//   W();                                            nothing done yet
//   wrote begin(const out_plan& p);                 make the file it writes: ok or refused
//   wrote write(const out_plan& p, const out_bytes& made);
//                                                   the whole output into it, and published
//   ~W();                                           undo what is not published
//
// publish.cc tries them in one constant order, each begun and written in turn; the staged way
// alone begins before the translation, so that the output drains into its file as it is made.

// The window the output is built in while it is staged, and read back through where the kernel
// cannot copy it: 256 KiB, small enough to stay in the cache, large enough that writes are few.
constexpr size_t window = size_t{1} << 18;

// A name (replace.cc) for a new file beside `p.name` that is no longer than the folder allows whenever
// `p.name` itself fits: "." and as much of the name as fits, ".tmp-", six letters that differ
// from call to call.
std::string temp_name(const out_plan& p);

// A name this run made in a folder, for a file not yet complete: an early end removes it, and so
// does this when it goes, unless it was kept. Every name is made, removed or kept with the
// signals held, together with the note of it (note_temp, drop_temp), so that an early end
// always knows what there is to undo.
class temp_file {
 public:
  temp_file() = default;
  ~temp_file() { remove(); }
  temp_file(const temp_file&) = delete;
  temp_file& operator=(const temp_file&) = delete;

  // Make `name` in `dir` by `make(name)`, true when that made it. False when nothing was made;
  // errno says why.
  template <class F>
  bool make(int dir, const std::string& name, F make) {
    held_signals h;
    if (!make(name.c_str())) return false;
    at = dir;
    n = name;
    note_temp(at, n.c_str());
    return true;
  }
  // Make a fresh temporary name beside `p.name` (temp_name) by `make`, another one while the
  // one tried is taken.
  template <class F>
  bool make_beside(const out_plan& p, F make) {
    for (int k = 0; k < 100; ++k) {
      if (this->make(p.dir, temp_name(p), make)) return true;
      if (errno != EEXIST) return false;
    }
    return false;
  }
  const std::string& name() const { return n; }
  // Remove the name now.
  void remove();
  // Leave the name as it is, no longer this run's to remove: it is the output's now, or it was
  // moved away.
  void keep();

 private:
  int at = -1;
  std::string n;  // empty: nothing to remove
};

// Staged: the output goes to an unnamed file in the output's folder as it is made, a window at a
// time; once complete, the file is flushed, named beside the output and swapped into its place.
class staged_file {
 public:
  staged_file() = default;
  ~staged_file();
  staged_file(const staged_file&) = delete;
  staged_file& operator=(const staged_file&) = delete;
  // Start staging in the folder `p.dir`; out_thing drains into the file from now on. Refused
  // when no unnamed file can be made there.
  wrote begin(const out_plan& p);
  bool is_open() const { return fd >= 0; }
  // The rest of the output to the file; `made` then reads it from there. False when any of it
  // could not be written.
  bool finish(out_bytes& made);
  // Name the finished file beside `p.name` and swap it into place. Refused when it cannot be
  // given the old file's owner or a name beside it.
  wrote write(const out_plan& p, const out_bytes& made);

 private:
  static void drain(void* to, std::string_view held);
  void spill(std::string_view held);

  int fd = -1;
  size_t len = 0;       // bytes written to it
  size_t flushed = 0;   // bytes of it whose write-back to disk has been started
  bool failed = false;  // a write to it failed: the output cannot be written
};

// Beside: a new file with a temporary name beside `p.name`, written whole, then renamed into
// place. Refused when no file can be made beside the output, or given the old one's owner.
class beside_file {
 public:
  beside_file() = default;
  ~beside_file();
  beside_file(const beside_file&) = delete;
  beside_file& operator=(const beside_file&) = delete;
  wrote begin(const out_plan& p);
  wrote write(const out_plan& p, const out_bytes& made);

 private:
  temp_file tmp;
  int fd = -1;
};

// In place: the existing regular file `p.name` written into. Nothing else keeps the old content
// then, so this does: it is read into memory first, the whole new size is reserved before a byte
// changes, and a write that fails or a run that is stopped puts the old bytes and times back. A
// lock keeps two runs from writing it at once. Refused when there is no such file, or it cannot
// be opened, locked and read.
class inplace_file {
 public:
  inplace_file() = default;
  ~inplace_file();
  inplace_file(const inplace_file&) = delete;
  inplace_file& operator=(const inplace_file&) = delete;
  wrote begin(const out_plan& p);
  wrote write(const out_plan& p, const out_bytes& made);

 private:
  int fd = -1;
  std::unique_ptr<char[]> old;  // its content before the run
  size_t old_len = 0;
  struct timespec times[2] {};  // and its access and modification times
};

// Created: no file at `p.name` and none could be named beside it, so it is made there at once,
// exclusively, and removed again if it cannot be written whole. Refused when a file is there or
// none can be made.
class created_file {
 public:
  created_file() = default;
  ~created_file();
  created_file(const created_file&) = delete;
  created_file& operator=(const created_file&) = delete;
  wrote begin(const out_plan& p);
  wrote write(const out_plan& p, const out_bytes& made);

 private:
  temp_file made_here;  // the output's own name, until the output is complete
  int fd = -1;
};

// A character device (/dev/null): written as it is, there is nothing to keep. Refused when the
// output is no such device, or it cannot be opened.
class device_file {
 public:
  device_file() = default;
  ~device_file();
  device_file(const device_file&) = delete;
  device_file& operator=(const device_file&) = delete;
  wrote begin(const out_plan& p);
  wrote write(const out_plan& p, const out_bytes& made);

 private:
  int fd = -1;
};

// The output file from prepare_output to write_output: its plan, and the staging file the output
// drains into meanwhile. Not to be moved once prepared: out_thing drains into `stage`.
struct output {
  out_plan plan;
  staged_file stage;
};

// Choose how the output file `out` is written, and where out_thing is built meanwhile. Call
// after read_input; an empty `out` means no file is written, and out_thing stays in memory.
void prepare_output(output& o, const std::string& out);

// Write the whole output to the file chosen by prepare_output and close it; an old file there is
// replaced only by a complete new one. `made` tells where the finished output is, for the echo.
// False on failure, with the old file as it was.
bool write_output(output& o, out_bytes& made);

// What the ways that put a new file in the old one's place share (replace.cc):

// Give the new file `fd` that replaces `p`'s old one the old one's owner, group and mode (or
// the mode a newly created file would get). False when the old owner cannot be kept.
bool fit_owner(int fd, const out_plan& p);
// Make the written file `fd` durable before it is given the output's name.
bool settle(int fd);
// Move the complete file `tmp` to `p.name`, in place of the old file if there is one. On failure
// `tmp` is removed, and the old file is as it was.
bool put_in_place(temp_file& tmp, const out_plan& p);

// --- nestasm-check: NASM's options from the build ---------------------------------------------

// The options a build's compile_commands.json gives NASM for one source.
struct nasm_from {
  std::vector<std::string> args;  // -f, -I (absolute), -D, -U, -w
  std::string cwd;                // the entry's directory, where NASM runs
  std::string where;              // the compile_commands.json
  std::string entry;              // the entry's file: the source, or the .asm made of it
  bool whole = true;              // no pre-included file (-p, -P) brings names of its own
};

// Look for compile_commands.json in the folder of `path` and each one above it (and in the
// build/ folder of each), nearest first, for an entry whose compiler is NASM and whose file is
// `path`, the .asm beside it, or the .asm nestasm_sources() makes of it ("BIN/nestasm/REL.asm"
// for "SRC/REL.s"; of several, the longest REL). False when there is none, or the checker was
// built without nlohmann-json.
bool compdb_args(std::string_view path, nasm_from& out);
