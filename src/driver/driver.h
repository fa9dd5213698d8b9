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

// --- failing pages -------------------------------------------------------------------------

// A mapped file that another process cuts short raises SIGBUS on the first page past its new
// end. Register the map at `p`, `n` bytes long: a fault inside it ends the run with `s`.
void watch_map(const void* p, size_t n, st s);
// Stop watching the map at `p`.
void unwatch_map(const void* p);

// --- writing -------------------------------------------------------------------------------

// The ways of writing the output file, chosen once per run by prepare_output.
enum class way {
  staged,    // built in an unnamed file in the output's folder, named and swapped in when done
  beside,    // built in memory, written to a named file beside the output and renamed over it
  in_place,  // built in memory and written into the existing file (one that no new file can
             // stand in for: a hard link shared with other names, another owner's file, a device)
};

// What writing by one way came to.
enum class wrote {
  ok,       // the output file is complete
  failed,   // it could not be written; the old file is as it was
  refused,  // this way cannot be used here and changed nothing; try the next one
};

// The output file and what is known of it before it is written.
struct out_plan {
  way how = way::beside;
  std::string path;    // the output path as the input's path gives it
  std::string target;  // the file written: the output path, its symbolic link followed
  bool exists = false;
  struct stat old {};  // the file there now, when it exists
};

// Choose how the output file `out` is written, and where out_thing is built meanwhile. Call
// after read_input; an empty `out` means no file is written, and out_thing stays in memory.
void prepare_output(const std::string& out);

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
// Start staging the output in an unnamed file in the folder of `target`. False when none can
// be made there; nothing changes then.
bool stage_open(const std::string& target);
// The rest of the output to the staging file, and the whole of it in out_thing again for the
// echo. False when any of it could not be written.
bool stage_finish();
// Give the finished staging file a name beside `p.target` and swap it into place.
wrote write_staged(const out_plan& p);
// Write out_thing to a new file beside `p.target` and rename it into place.
wrote write_beside(const out_plan& p);
// Write out_thing into the file at `out` itself.
wrote write_in_place(const std::string& out);

// The mode for a new file that replaces `p`'s old one: the old file's, or what creating a new
// file would give it.
mode_t mode_for(const out_plan& p);
// Move the complete file named `tmp` to `p.target`, in place of the old file if there is one.
// On failure `tmp` is removed.
bool put_in_place(const std::string& tmp, const out_plan& p);
