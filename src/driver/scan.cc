// The line scanner: depth markers, closing by depth, comments, and dispatch to the statements.
#include <cstring>

#include "codegen/codegen.h"
#include "common/common.h"
#include "driver/driver.h"

std::string_view file_lines;
std::string out_thing;
int64_t lnum = 0;

// The keyword, lower-cased, when the first word can be a statement at all; empty otherwise. Most
// lines are instructions, and a test of the first byte spares finding, copying and lower-casing
// their first word only to compare it.
static std::string keyword(std::string_view body) {
  switch (body[0]) {
    case 'i': case 'I': case 'e': case 'E': case 'w': case 'W': break;
    default: return {};
  }
  // The word ends at its first space or tab; a word longer than "while" is no keyword.
  size_t n = 0;
  while (n < body.size() && n < 6 && body[n] != ' ' && body[n] != '\t') ++n;
  if (n < 2 || n > 5) return {};
  return lowerme(std::string(body.substr(0, n)));
}

int translate_line(std::string_view line) {
  // The marker prefix: "&" and spaces in any mix. A tab ends it.
  size_t i = 0;
  int64_t depth = 0;
  for (; i < line.size() && (line[i] == '&' || line[i] == ' '); ++i) depth += line[i] == '&';
  std::string_view body = trimx(line.substr(i));

  // Every line, blank and comment lines too, ends the blocks opened deeper than it.
  close_til(depth + 1);

  if (body.empty() || body[0] == ';') {
    emit(line);
    return 0;
  }
  const std::string low = keyword(body);
  if (low.empty()) {
    emit(body);
    return 0;
  }
  // Compared as views, so the length is checked before any byte.
  const std::string_view kw = low;
  std::string_view arg = trimx(body.substr(kw.size()));
  if (kw == "if") return do_if(depth, arg);
  if (kw == "elif") return do_elif(depth, arg);
  if (kw == "else") return do_else(depth, arg);
  if (kw == "while") return do_while(depth, arg);
  if (kw == "end") return do_end(depth, arg);
  emit(body);
  return 0;
}

int translate_all() {
  const char* text = file_lines.data();
  const size_t size = file_lines.size();
  size_t pos = 0;
  for (lnum = 0; pos < size; ++lnum) {
    const void* nl = std::memchr(text + pos, '\n', size - pos);
    const size_t end = nl ? static_cast<size_t>(static_cast<const char*>(nl) - text) : size;
    std::string_view line(text + pos, end - pos);
    // A CRLF file translates like the same file with LF line ends.
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (int st = translate_line(line)) return st;
    pos = nl ? end + 1 : size;
  }
  close_til(0);
  return 0;
}

void restart() {
  file_lines = {};
  out_thing.clear();
  lnum = 0;
  stk.clear();
  lbl_n = 0;
}
