// NASM's words and forms as the warnings need them: registers, keywords, numbers and labels.
#include "check/check.h"

#include <array>

static bool upper(char c) { return c >= 'A' && c <= 'Z'; }
static bool digit(char c) { return c >= '0' && c <= '9'; }
static bool alpha(char c) { return (c >= 'a' && c <= 'z') || upper(c); }
static char low(char c) { return upper(c) ? static_cast<char>(c - 'A' + 'a') : c; }

bool ident_byte(char c) {
  return alpha(c) || digit(c) || c == '_' || c == '.' || c == '$' || c == '#' || c == '@' ||
         c == '~' || c == '?';
}

// `s` is `head` followed by a decimal number no greater than `top`.
static bool numbered(std::string_view s, std::string_view head, int top) {
  if (!s.starts_with(head) || s.size() == head.size() || s.size() > head.size() + 2) return false;
  int n = 0;
  for (char c : s.substr(head.size())) {
    if (!digit(c)) return false;
    n = n * 10 + (c - '0');
  }
  return n <= top && !(s.size() == head.size() + 2 && s[head.size()] == '0');
}

static bool reg(std::string_view w) {
  static constexpr std::array<std::string_view, 48> named = {
      "al",  "ah",  "ax",  "eax", "rax", "bl",  "bh",  "bx",  "ebx", "rbx", "cl",  "ch",
      "cx",  "ecx", "rcx", "dl",  "dh",  "dx",  "edx", "rdx", "si",  "esi", "rsi", "sil",
      "di",  "edi", "rdi", "dil", "bp",  "ebp", "rbp", "bpl", "sp",  "esp", "rsp", "spl",
      "ip",  "eip", "rip", "cs",  "ds",  "es",  "fs",  "gs",  "ss",  "st",  "tr",  "gdtr"};
  // The first byte first: most names share none with `w`, and need no full compare.
  for (std::string_view n : named)
    if (n[0] == w[0] && n == w) return true;
  // r8 to r15, alone or with a size letter.
  if (w.size() >= 2 && w[0] == 'r' && digit(w[1])) {
    std::string_view base = w;
    if (w.back() == 'b' || w.back() == 'w' || w.back() == 'd' || w.back() == 'l')
      base.remove_suffix(1);
    int n = 0;
    for (char c : base.substr(1)) {
      if (!digit(c)) return false;
      n = n * 10 + (c - '0');
    }
    return base.size() <= 3 && n >= 8 && n <= 15;
  }
  return numbered(w, "xmm", 31) || numbered(w, "ymm", 31) || numbered(w, "zmm", 31) ||
         numbered(w, "mm", 7) || numbered(w, "st", 7) || numbered(w, "k", 7) ||
         numbered(w, "cr", 15) || numbered(w, "dr", 15);
}

bool nasm_word(std::string_view w) {
  static constexpr std::array<std::string_view, 18> words = {
      "byte", "word",   "dword", "qword", "tword", "oword",   "yword", "zword", "far",
      "near", "short",  "strict", "rel",  "abs",   "nosplit", "seg",   "wrt",   "to"};
  if (w.empty()) return false;
  for (std::string_view k : words)
    if (k[0] == w[0] && k == w) return true;
  return reg(w);
}

std::string_view capital_name(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (c == '\'' || c == '"' || c == '`') {  // a quoted text keeps its case
      const size_t close = s.find(c, i + 1);
      if (close == std::string_view::npos) return {};
      i = close + 1;
      continue;
    }
    if (!ident_byte(c)) {
      ++i;
      continue;
    }
    size_t j = i;
    bool caps = false;
    for (; j < s.size() && ident_byte(s[j]); ++j)
      if (upper(s[j])) caps = true;
    const std::string_view w = s.substr(i, j - i);
    i = j;
    if (!caps || digit(w[0])) continue;  // a number's case means nothing
    // No register or keyword is longer than seven bytes.
    if (w.size() > 7) return w;
    char l[8];
    for (size_t k = 0; k < w.size(); ++k) l[k] = low(w[k]);
    if (!nasm_word(std::string_view(l, w.size()))) return w;
  }
  return {};
}

bool nasm_number(std::string_view s) {
  if (s.empty()) return false;
  if (s[0] == '"' || s[0] == '`') return s.size() >= 2 && s.back() == s[0];
  size_t i = 0;
  while (i < s.size() && (s[i] == '-' || s[i] == '+' || s[i] == '~')) ++i;
  if (i == s.size()) return false;
  if (digit(s[i])) return true;
  // "$" and a digit is hexadecimal; "$name" is a name.
  return s[i] == '$' && i + 1 < s.size() && digit(s[i + 1]);
}

std::string_view label_of(std::string_view body) {
  if (body.empty() || !(alpha(body[0]) || body[0] == '_' || body[0] == '.' || body[0] == '?' ||
                        body[0] == '@' || body[0] == '$'))
    return {};
  size_t i = 0;
  while (i < body.size() && ident_byte(body[i])) ++i;
  if (i == body.size() || body[i] != ':') return {};
  return body.substr(0, i);
}

// `w` spells the lower-case `kw` in any case.
static bool same_word(std::string_view w, std::string_view kw) {
  if (w.size() != kw.size()) return false;
  for (size_t i = 0; i < w.size(); ++i)
    if (low(w[i]) != kw[i]) return false;
  return true;
}

std::string_view meant_statement(std::string_view word) {
  // Most lines are instructions; only these letters begin a word of interest.
  if (word.empty()) return {};
  switch (low(word[0])) {
    case 'e': case 'f': case 'w': case 'i': break;
    default: return {};
  }
  static constexpr std::array<std::string_view, 8> ends = {
      "endif", "end_if", "endwhile", "end_while", "endw", "wend", "fi", "endloop"};
  static constexpr std::array<std::string_view, 4> elifs = {"elsif", "elseif", "else_if", "elsf"};
  for (std::string_view e : ends)
    if (same_word(word, e)) return "end";
  for (std::string_view e : elifs)
    if (same_word(word, e)) return "elif";
  // "if(eax==1)": the keyword needs a blank after it.
  for (std::string_view k : {"if", "elif", "while"})
    if (word.size() > k.size() && word[k.size()] == '(' && same_word(word.substr(0, k.size()), k))
      return k;
  return {};
}

size_t comment_at(std::string_view s) {
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == ';') return i;
    if (c == '\'' || c == '"' || c == '`') {
      const size_t close = s.find(c, i + 1);
      if (close == std::string_view::npos) return std::string_view::npos;
      i = close;
    }
  }
  return std::string_view::npos;
}
