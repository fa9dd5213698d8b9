// The driver: the input and output line lists, the line scanner, and reading and writing files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The whole input as read: lines end at "\n", and one "\r" before it (or at the very end of the
// text) is not part of the line. Only read once reading is done.
extern std::string_view file_lines;

// The output: every line followed by "\n". Lines are appended and never changed.
extern std::string out_thing;

// Index of the input line being translated, 0 for the first.
extern int64_t lnum;

// Append one output line made of `parts`, followed by "\n".
template <class... T>
void emit(const T&... parts) {
  (out_thing.append(std::string_view(parts)), ...);
  out_thing += '\n';
}

// Translate one input line (without its terminator). Returns 0, or a statement error's status.
int translate_line(std::string_view line);

// Translate every line of file_lines, then close the blocks still open. Returns 0, or the status
// of the first statement error.
int translate_all();

// Forget everything a translation left behind, so another can start as if the process were new.
void restart();

// Read the file at `path` into file_lines. False when it cannot be opened or read.
bool read_input(const char* path);

// The input path with the last extension of its final component replaced by ".asm".
// For instance out_path("work.d/prog") returns "work.d/prog.asm".
std::string out_path(std::string_view in);

// True when writing `out` would write over the input file that read_input read.
bool names_input(const std::string& out, std::string_view in);

// Write out_thing to the file `out`, in full, and close it. On failure a partly written file is
// removed and false is returned.
bool write_output(const std::string& out);

// Write out_thing to standard output. False when that fails.
bool echo_output();

// Make sure descriptors 0, 1 and 2 are open, so that no file opened later takes one of their
// numbers; remember whether standard output was closed.
void guard_fds();
