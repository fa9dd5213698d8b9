// Byte-string helpers shared by every part of the translator, the table of exit statuses and
// their messages, and the one way to report an error.
#pragma once

#include <string>
#include <string_view>

// isspace() as it behaves with no locale set, which is always the case here. Tested in line: a
// library call for every byte of every line cost more than the rest of the scan.
inline bool is_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// `s` without the leading and trailing bytes that isspace() accepts (space, \t, \n, \v, \f, \r).
// The result views `s`, so it lives as long as `s` does. Inline: it runs twice on every line.
inline std::string_view trimx(std::string_view s) {
  const char* b = s.data();
  const char* e = b + s.size();
  while (b < e && is_space(static_cast<unsigned char>(*b))) ++b;
  while (e > b && is_space(static_cast<unsigned char>(e[-1]))) --e;
  return {b, static_cast<size_t>(e - b)};
}

// tolower() as it behaves with no locale set: "A".."Z" become "a".."z", every other byte stays.
// Inline: the cmp writer lowers the left operand of every condition a byte at a time with it.
inline char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// `s` with every byte lowered as by lower(); the length stays.
std::string lowerme(std::string s);

// `a` and `b` are the same but for the case of "A".."Z".
bool same_icase(std::string_view a, std::string_view b);

// Every way a run ends, as its exit status. The three "imm lhs" statuses share a message and
// tell the statement apart only by their number.
enum class st : int {
  ok = 0,
  no_input = 1,
  cant_open = 2,
  bad_if = 3,
  imm_lhs_if = 4,
  elif_bad = 5,
  bad_elif = 6,
  imm_lhs_elif = 7,
  else_bad = 8,
  bad_while = 9,
  imm_lhs_while = 10,
  end_bad = 11,
  big_num = 12,
  cant_write = 13,
  same_file = 14,
  no_memory = 15,
};

// The one line written to standard error for `s`, "\n" included; empty for st::ok and for a
// number that is no status.
std::string_view message(st s);
inline std::string_view message(int s) { return message(static_cast<st>(s)); }

// Write all of `s` to the descriptor `fd`, going on after an interrupted or partial write and
// waiting while a non-blocking descriptor is full. False when a write fails.
bool write_all(int fd, std::string_view s);

// Where bail writes: standard error, or nowhere (-1) for a companion that explains errors in
// its own words.
extern int err_fd;

// Write the message of `s` to err_fd and return its status, so a handler can
// `return bail(st::bad_if)`.
int bail(st s);
