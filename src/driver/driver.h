// The driver: reading the input, and writing the output beside it and to standard output.
#pragma once

#include <csignal>
#include <memory>
#include <string>
#include <string_view>
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

// The ways of writing the output file. prepare_output chooses the first one to try; when a way
// is refused, write_output tries the next, in this order.
enum class way {
  staged,    // built in an unnamed file in the output's folder, named and swapped in when done
  beside,    // written to a named file beside the output and renamed over it (the output built
             // in memory, where no unnamed file can be made)
  in_place,  // written into the existing file itself (one that no new file can stand in for: a
             // hard link shared with other names, another owner's file that cannot be given
             // away, a folder without room or write access), or created there when none exists
  device,    // a character device (/dev/null), written as it is
  none,      // nothing may be written there (a FIFO, a socket, a folder, a link not to be
             // followed): the run ends "cant write"
};

// What writing by one way came to.
enum class wrote {
  ok,       // the output file is complete
  failed,   // it could not be written; the old file is as it was
  refused,  // this way cannot be used here and changed nothing; try the next one
};

// The output file and what is known of it before it is written. Every name is taken relative
// to the folder held open in `dir`, so a folder renamed meanwhile cannot move the output.
struct out_plan {
  way how = way::beside;
  int dir = -1;        // the folder of the file written: the output's, or a link's target's
  std::string name;    // the file written, in `dir`
  bool exists = false;
  struct stat old {};  // the file there now, when it exists
};

// The finished output, as the ways write it to their file and the echo to standard output: the
// bytes of out_thing, or the first `len` bytes of the staging file, read through `fd`.
struct out_bytes {
  int fd = -1;
  size_t len = 0;

  size_t size() const;
  // All of it to `to`, from `to`'s current position. False when a write fails, or when the
  // staging file holds less than it did (someone else cut it short once it had a name).
  bool put(int to) const;
};

// Choose how the output file `out` is written, and where out_thing is built meanwhile. Call
// after read_input; an empty `out` means no file is written, and out_thing stays in memory.
void prepare_output(const std::string& out);

// True when the file that writing `out` replaces, found as prepare_output finds it, is the file
// `dev`, `ino`.
bool writes_over(const std::string& out, dev_t dev, ino_t ino);

// Write the whole output to the file chosen by prepare_output and close it; an old file there is
// replaced only by a complete new one. `made` tells where the finished output is, for the echo.
// False on failure, with the old file as it was.
bool write_output(out_bytes& made);

// Write the finished output to standard output. False when that fails.
bool echo_output(const out_bytes& made);

// Make sure descriptors 0, 1 and 2 are open, so that no file opened later takes one of their
// numbers; remember whether standard output was closed.
void guard_fds();

// --- within the driver: the ways of writing ----------------------------------------------------
//
// One type per way, each owning its descriptor and what it must undo; write_output chooses among
// them with a switch.

// The window the output is built in while it is staged, and read back through where the kernel
// cannot copy it: 256 KiB, small enough to stay in the cache, large enough that writes are few.
constexpr size_t window = size_t{1} << 18;

// Staged: the output goes to an unnamed file in the output's folder as it is made, a window at a
// time; once complete, the file is flushed, named beside the output and swapped into its place.
class staged_file {
 public:
  staged_file() = default;
  ~staged_file();
  staged_file(const staged_file&) = delete;
  staged_file& operator=(const staged_file&) = delete;
  // Start staging in the folder `dir`; out_thing drains into the file from now on. False when no
  // unnamed file can be made there; nothing changes then.
  bool open(int dir);
  bool is_open() const { return fd >= 0; }
  // The rest of the output to the file; `made` then reads it from there. False when any of it
  // could not be written.
  bool finish(out_bytes& made);
  // Name the finished file beside `p.name` and swap it into place.
  wrote publish(const out_plan& p);

 private:
  static void drain(std::string_view held);
  void spill(std::string_view held);

  int fd = -1;
  size_t len = 0;       // bytes written to it
  size_t flushed = 0;   // bytes of it whose write-back to disk has been started
  bool failed = false;  // a write to it failed: the output cannot be written
};

// Beside: a new file with a temporary name beside `p.name`, written whole, then renamed into
// place.
class beside_file {
 public:
  explicit beside_file(const out_plan& p);
  ~beside_file();
  beside_file(const beside_file&) = delete;
  beside_file& operator=(const beside_file&) = delete;
  // Refused when no file can be made beside the output, or given the old one's owner.
  wrote write(const out_bytes& made);

 private:
  const out_plan& p;
  std::string tmp;
  int fd = -1;
};

// In place: the existing regular file `p.name` written into. Nothing else keeps the old content
// then, so this does: it is read into memory first, the whole new size is reserved before a byte
// changes, and a write that fails or a run that is stopped puts the old bytes and times back. A
// lock keeps two runs from writing it at once.
class inplace_file {
 public:
  explicit inplace_file(const out_plan& p);
  ~inplace_file();
  inplace_file(const inplace_file&) = delete;
  inplace_file& operator=(const inplace_file&) = delete;
  wrote write(const out_bytes& made);

 private:
  int fd = -1;
  std::unique_ptr<char[]> old;  // its content before the run
  size_t old_len = 0;
  struct timespec times[2] {};  // and its access and modification times
};

// Created: no file at `p.name` and none could be named beside it, so it is made there at once,
// exclusively, and removed again if it cannot be written whole.
class created_file {
 public:
  explicit created_file(const out_plan& p);
  ~created_file();
  created_file(const created_file&) = delete;
  created_file& operator=(const created_file&) = delete;
  wrote write(const out_bytes& made);

 private:
  const out_plan& p;
  int fd = -1;
};

// A character device (/dev/null): written as it is, there is nothing to keep.
class device_file {
 public:
  explicit device_file(const out_plan& p);
  ~device_file();
  device_file(const device_file&) = delete;
  device_file& operator=(const device_file&) = delete;
  wrote write(const out_bytes& made);

 private:
  int fd = -1;
};

// What the ways that put a new file in the old one's place share (replace.cc):

// A name for a new file beside `p.name` that is no longer than the folder allows whenever
// `p.name` itself fits: "." and as much of the name as fits, ".tmp-", six letters that differ
// from call to call.
std::string temp_name(const out_plan& p);
// Give the new file `fd` that replaces `p`'s old one the old one's owner, group and mode (or
// the mode a newly created file would get). False when the old owner cannot be kept.
bool fit_owner(int fd, const out_plan& p);
// Make the written file `fd` durable before it is given the output's name.
bool settle(int fd);
// Move the complete file named `tmp` (noted with note_temp) to `p.name`, in place of the old
// file if there is one. On failure `tmp` is removed, and the old file is as it was.
bool put_in_place(const std::string& tmp, const out_plan& p);
