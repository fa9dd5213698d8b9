// A slow, plain translation of the notation kept for the tests alone: the second opinion that the
// fuzzer and the unit tests hold the real translator against. It shares nothing with src/
// but the table of statuses and their messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct ref_run {
  int status = 0;
  std::string err;     // the one message on standard error; empty on success
  std::string out;     // every output line followed by "\n"; empty unless status is 0
  int64_t stop = 0;    // index of the line that stopped the run, or the number of lines
  int64_t labels = 0;  // label numbers handed out
  bool operator==(const ref_run&) const = default;
};

// Translate the whole text of an input file.
ref_run ref_translate(std::string_view text);
