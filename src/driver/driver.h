// The driver: reading the input, and writing the output beside it and to standard output.
#pragma once

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

// A mapped file that another process cuts short raises SIGBUS on the first page past its new
// end. Register the map at `p`, `n` bytes long: a fault inside it ends the run with `s`.
void watch_map(const void* p, size_t n, st s);
// Stop watching the map at `p`.
void unwatch_map(const void* p);

// Set up how the run ends when it is stopped from outside or runs out of memory: a signal that
// ends it, or memory that cannot be had ("no memory", status 15), first removes the named file
// this run has made and puts back a file it was writing in place. A file size limit makes
// writes fail instead of ending the run. Call once, first thing.
void guard_signals();
// Keep those signals waiting while a name is made or moved, so that what is noted below is
// always what is on disk.
void hold_signals();
void let_signals();
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

// The ways of writing the output file, chosen once per run by prepare_output.
enum class way {
  staged,    // built in an unnamed file in the output's folder, named and swapped in when done
  beside,    // built in memory, written to a named file beside the output and renamed over it
  in_place,  // built in memory and written into the existing file (one that no new file can
             // stand in for: a hard link shared with other names, another owner's file that
             // cannot be given away, a folder without room or write access, a device)
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
  std::string path;    // the output path as the input's path gives it
  int dir = -1;        // the folder of the file written: the output's, or a link's target's
  std::string name;    // the file written, in `dir`
  bool exists = false;
  struct stat old {};  // the file there now, when it exists
};

// Choose how the output file `out` is written, and where out_thing is built meanwhile. Call
// after read_input; an empty `out` means no file is written, and out_thing stays in memory.
void prepare_output(const std::string& out);

// True when the file that writing `out` replaces, found as prepare_output finds it, is the file
// `dev`, `ino`.
bool writes_over(const std::string& out, dev_t dev, ino_t ino);

// Write the whole output to the file chosen by prepare_output and close it; an old file there is
// replaced only by a complete new one. False on failure, with the old file as it was.
bool write_output();

// Write out_thing to standard output. False when that fails.
bool echo_output();

// Make sure descriptors 0, 1 and 2 are open, so that no file opened later takes one of their
// numbers; remember whether standard output was closed.
void guard_fds();

// --- within the driver: the staging file and the writers -------------------------------------

// The staging file, or -1 while the output is built on the heap.
extern int stage_fd;
// Start staging the output in an unnamed file in the folder `dir`. False when none can be made
// there; nothing changes then.
bool stage_open(int dir);
// The rest of the output to the staging file, and the whole of it in out_thing again for the
// echo. False when any of it could not be written.
bool stage_finish();
// Give the finished staging file a name beside `p.name` and swap it into place.
wrote write_staged(const out_plan& p);
// Write out_thing to a new file beside `p.name` and rename it into place.
wrote write_beside(const out_plan& p);
// Write out_thing into the file `p.name` itself.
wrote write_in_place(const out_plan& p);

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
