// Diagnostics as text in the form compilers print and editors parse, and as JSON.
#include <cstring>
#include <string>

#include "check/check.h"
#include "check/json_text.h"

static const char* level_word(level l) {
  return l == level::error ? "error" : l == level::warning ? "warning" : "note";
}

// Decimal digits of `n` at `p`, right-aligned in a field `width` wide; returns their end.
static char* put_num(char* p, uint64_t n, size_t width = 0) {
  char b[24];
  char* e = b + sizeof b;
  char* q = e;
  do {
    *--q = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  const size_t len = static_cast<size_t>(e - q);
  for (; width > len; --width) *p++ = ' ';
  std::memcpy(p, q, len);
  return p + len;
}

static char* put_text(char* p, std::string_view s) {
  if (!s.empty()) std::memcpy(p, s.data(), s.size());
  return p + s.size();
}

static void add_num(std::string& to, uint64_t n) {
  char b[24];
  to.append(b, static_cast<size_t>(put_num(b, n) - b));
}

size_t text_room(std::string_view file, const diag& d) {
  return file.size() + d.text.size() + 2 * d.src.size() + (d.col > 0 ? d.col : 0) + 160;
}

// Written straight into room made once: a file may draw a diagnostic on most of its lines, and
// appending piece by piece cost more than the rest of the check.
char* format_text(char* p, std::string_view file, const diag& d, bool brief) {
  const std::string_view name =
      d.lvl == level::warning && d.name >= 0 ? name_of(static_cast<wname>(d.name)) : "";
  const size_t c = d.col > 0 ? d.col - 1 : 0;
  p = put_text(p, file);
  *p++ = ':';
  if (d.line > 0) {
    p = put_num(p, static_cast<uint64_t>(d.line));
    *p++ = ':';
    p = put_num(p, d.col);
    *p++ = ':';
  }
  *p++ = ' ';
  p = put_text(p, level_word(d.lvl));
  p = put_text(p, ": ");
  p = put_text(p, d.text);
  if (d.nasm) {
    p = put_text(p, " [nasm]");
  } else if (d.lvl == level::error) {
    p = put_text(p, " [status ");
    p = put_num(p, static_cast<uint64_t>(d.status));
    *p++ = ']';
  } else if (!name.empty()) {
    p = put_text(p, " [");
    p = put_text(p, name);
    *p++ = ']';
  }
  *p++ = '\n';
  if (d.line > 0 && d.echo && !brief) {
    // The line with its number in a gutter, then the caret under the columns, as gcc shows
    // them. Tabs before the column are kept in the caret line so the caret stays under its byte.
    char* const mark = p;
    p = put_num(p, static_cast<uint64_t>(d.line), 5);
    const size_t gutter = static_cast<size_t>(p - mark);
    p = put_text(p, " | ");
    p = put_text(p, d.src);
    *p++ = '\n';
    std::memset(p, ' ', gutter);
    p = put_text(p + gutter, " | ");
    std::memset(p, ' ', c);
    for (size_t i = 0; i < c && i < d.src.size(); ++i)
      if (d.src[i] == '\t') p[i] = '\t';
    p += c;
    *p++ = '^';
    size_t end = d.end_col > d.col ? d.end_col - 1 : c + 1;
    if (end > d.src.size()) end = d.src.size();
    if (end > c + 1) {
      std::memset(p, '~', end - c - 1);
      p += end - c - 1;
    }
    *p++ = '\n';
  }
  return p;
}

// The length of the well-formed UTF-8 sequence of two to four bytes at `s[i]`, or 0.
static size_t utf8_at(std::string_view s, size_t i) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const unsigned char c = b(0);
  size_t n = 0;
  unsigned char lo = 0x80, hi = 0xbf;  // the second byte's range: no overlong, no surrogate
  if (c >= 0xc2 && c <= 0xdf) {
    n = 2;
  } else if (c >= 0xe0 && c <= 0xef) {
    n = 3;
    if (c == 0xe0) lo = 0xa0;
    if (c == 0xed) hi = 0x9f;
  } else if (c >= 0xf0 && c <= 0xf4) {
    n = 4;
    if (c == 0xf0) lo = 0x90;
    if (c == 0xf4) hi = 0x8f;
  }
  if (n == 0 || s.size() - i < n || b(1) < lo || b(1) > hi) return 0;
  for (size_t k = 2; k < n; ++k)
    if ((b(k) & 0xc0) != 0x80) return 0;
  return n;
}

// A byte that goes into a JSON string as it is, on its own.
static bool plain_byte(unsigned char c) { return c >= 0x20 && c < 0x7f && c != '"' && c != '\\'; }

void json_string(std::string& to, std::string_view s) {
  static const char hex[] = "0123456789abcdef";
  to += '"';
  size_t i = 0;
  while (i < s.size()) {
    // Runs of plain bytes go in whole: the server writes every diagnostic of a large document
    // through here on each change.
    size_t j = i;
    while (j < s.size() && plain_byte(static_cast<unsigned char>(s[j]))) ++j;
    to.append(s.data() + i, j - i);
    if (j == s.size()) break;
    const unsigned char c = static_cast<unsigned char>(s[j]);
    i = j + 1;
    if (c == '"' || c == '\\') {
      to += '\\';
      to += static_cast<char>(c);
    } else if (c == '\n') {
      to += "\\n";
    } else if (c == '\t') {
      to += "\\t";
    } else if (c < 0x80) {
      // JSON holds no raw control byte; DEL too is written escaped, so no terminal acts on it.
      to += "\\u00";
      to += hex[c >> 4];
      to += hex[c & 15];
    } else if (const size_t n = utf8_at(s, j)) {
      to.append(s.data() + j, n);
      i = j + n;
    } else {
      // Not UTF-8 (a column that cut a character, a file in Latin-1): the protocol takes only
      // UTF-8, and a replacement character is what an editor shows for such a byte.
      to += "\xEF\xBF\xBD";
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
  else if (d.nasm) to += "\"nasm\"";
  else to += "null";
  to += ", \"message\": ";
  json_string(to, d.text);
  if (d.lvl == level::error && !d.nasm) {
    to += ", \"status\": ";
    add_num(to, static_cast<uint64_t>(d.status));
  }
  if (!d.fix.empty()) {
    to += ", \"fix\": [";
    for (size_t i = 0; i < d.fix.size(); ++i) {
      const edit& e = d.fix[i];
      to += i ? ", {\"line\": " : "{\"line\": ";
      add_num(to, static_cast<uint64_t>(e.line));
      to += ", \"column\": ";
      add_num(to, e.col);
      to += ", \"end_line\": ";
      add_num(to, static_cast<uint64_t>(e.end_line ? e.end_line : e.line));
      to += ", \"end_column\": ";
      add_num(to, e.end_col);
      to += ", \"text\": ";
      json_string(to, e.text);
      to += '}';
    }
    to += ']';
  }
  to += '}';
}
