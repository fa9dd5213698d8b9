// The line scanner: depth markers, closing by depth, comments, and dispatch to the statements.
#include <cstring>

#include "codegen/codegen.h"
#include "common/common.h"
#include "driver/driver.h"

std::string_view file_lines;
std::string out_thing;
int64_t lnum = 0;

// The keyword, lower-cased, when it can be a statement. A word longer than "while" never is,
// which spares lower-casing a long word only to compare it.
static std::string keyword(std::string_view word) {
  if (word.size() > 5) return {};
  return lowerme(std::string(word));
}

int translate_line(std::string_view line) {
  // The marker prefix: "&" and spaces in any mix. A tab ends it.
  size_t i = 0;
  int64_t depth = 0;
  while (i < line.size() && (line[i] == '&' || line[i] == ' ')) {
    if (line[i] == '&') ++depth;
    ++i;
  }
  std::string_view body = trimx(line.substr(i));

  // Every line, blank and comment lines too, ends the blocks opened deeper than it.
  close_til(depth + 1);

  if (body.empty() || body[0] == ';') {
    emit(line);
    return 0;
  }
  std::string_view word = body.substr(0, body.find_first_of(" \t"));
  std::string kw = keyword(word);
  std::string_view arg = trimx(body.substr(word.size()));
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
