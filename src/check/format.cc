// Diagnostics as text in the form compilers print and editors parse, and as JSON.
#include <string>

#include "check/check.h"

static const char* level_word(level l) {
  return l == level::error ? "error" : l == level::warning ? "warning" : "note";
}

static void add_num(std::string& to, uint64_t n) { to += std::to_string(n); }

void format_text(std::string& to, std::string_view file, const diag& d) {
  to += file;
  to += ':';
  if (d.line > 0) {
    add_num(to, static_cast<uint64_t>(d.line));
    to += ':';
    add_num(to, d.col);
    to += ':';
  }
  to += ' ';
  to += level_word(d.lvl);
  to += ": ";
  to += d.text;
  if (d.lvl == level::error) {
    to += " [status ";
    add_num(to, static_cast<uint64_t>(d.status));
    to += ']';
  } else if (d.lvl == level::warning && d.name >= 0) {
    to += " [";
    to += name_of(static_cast<wname>(d.name));
    to += ']';
  }
  to += '\n';
  if (d.line <= 0) return;
  // The line with its number in a gutter, then the caret under the columns, as gcc shows them.
  // Tabs before the column are kept in the caret line so the caret stays under its byte.
  std::string n = std::to_string(d.line);
  if (n.size() < 5) n.insert(0, 5 - n.size(), ' ');
  to += n;
  to += " | ";
  to += d.src;
  to += '\n';
  to.append(n.size(), ' ');
  to += " | ";
  const size_t c = d.col > 0 ? d.col - 1 : 0;
  for (size_t i = 0; i < c; ++i) to += i < d.src.size() && d.src[i] == '\t' ? '\t' : ' ';
  to += '^';
  size_t end = d.end_col > d.col ? d.end_col - 1 : c + 1;
  if (end > d.src.size()) end = d.src.size();
  if (end > c + 1) to.append(end - c - 1, '~');
  to += '\n';
}

static void json_string(std::string& to, std::string_view s) {
  static const char hex[] = "0123456789abcdef";
  to += '"';
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      to += '\\';
      to += static_cast<char>(c);
    } else if (c == '\n') {
      to += "\\n";
    } else if (c == '\t') {
      to += "\\t";
    } else if (c < 0x20 || c >= 0x7f) {
      // Input bytes are not known to be UTF-8; each stands for the code point of its value.
      to += "\\u00";
      to += hex[c >> 4];
      to += hex[c & 15];
    } else {
      to += static_cast<char>(c);
    }
  }
  to += '"';
}

void format_json(std::string& to, std::string_view file, const diag& d) {
  to += "{\"file\": ";
  json_string(to, file);
  to += ", \"line\": ";
  add_num(to, static_cast<uint64_t>(d.line));
  to += ", \"column\": ";
  add_num(to, d.col);
  to += ", \"end_column\": ";
  add_num(to, d.end_col);
  to += ", \"level\": \"";
  to += level_word(d.lvl);
  to += "\", \"name\": ";
  if (d.lvl == level::warning && d.name >= 0) json_string(to, name_of(static_cast<wname>(d.name)));
  else to += "null";
  to += ", \"message\": ";
  json_string(to, d.text);
  if (d.lvl == level::error) {
    to += ", \"status\": ";
    add_num(to, static_cast<uint64_t>(d.status));
  }
  to += '}';
}
