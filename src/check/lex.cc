// NASM's words and forms as the warnings need them: registers, keywords, numbers and labels.
#include "check/run.h"

#include <array>

#include "common/common.h"
#include "cond/cond.h"

static bool upper(char c) { return c >= 'A' && c <= 'Z'; }
static bool digit(char c) { return c >= '0' && c <= '9'; }
static bool alpha(char c) { return (c >= 'a' && c <= 'z') || upper(c); }


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
  // The registers most conditions name, told apart at once: the lists below cost a few hundred
  // instructions a call, on every condition of a file (mix10: 24M of 585M).
  if (w.size() == 3 && (w[0] == 'e' || w[0] == 'r') &&
      ((w[2] == 'x' && w[1] >= 'a' && w[1] <= 'd') || (w[1] == 's' && (w[2] == 'i' || w[2] == 'p')) ||
       (w[1] == 'd' && w[2] == 'i') || (w[1] == 'b' && w[2] == 'p')))
    return true;
  if (w.size() == 2 && w[0] >= 'a' && w[0] <= 'd' && (w[1] == 'l' || w[1] == 'h' || w[1] == 'x'))
    return true;
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
    for (size_t k = 0; k < w.size(); ++k) l[k] = lower(w[k]);
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
    if (lower(w[i]) != kw[i]) return false;
  return true;
}

std::string_view meant_statement(std::string_view word) {
  // Most lines are instructions; only these letters begin a word of interest.
  if (word.empty()) return {};
  if (word == "}") return "end";  // C's end of a block
  switch (lower(word[0])) {
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

// `a` (lower-cased as it is compared) is one edit from `b`: one byte changed, added or dropped,
// or two neighbours swapped ("whlie").
static bool one_edit(std::string_view a, std::string_view b) {
  if (a.size() + 1 < b.size() || b.size() + 1 < a.size()) return false;
  size_t i = 0;
  while (i < a.size() && i < b.size() && lower(a[i]) == b[i]) ++i;
  if (i == a.size() && i == b.size()) return false;  // the same word
  const auto rest_same = [&](size_t ia, size_t ib) {
    if (a.size() - ia != b.size() - ib) return false;
    for (; ia < a.size(); ++ia, ++ib)
      if (lower(a[ia]) != b[ib]) return false;
    return true;
  };
  if (a.size() == b.size())
    return rest_same(i + 1, i + 1) ||
           (i + 1 < a.size() && lower(a[i]) == b[i + 1] && lower(a[i + 1]) == b[i] &&
            rest_same(i + 2, i + 2));
  return a.size() > b.size() ? rest_same(i + 1, i) : rest_same(i, i + 1);
}

near_word near_statement(std::string_view body) {
  size_t wl = 0;
  while (wl < body.size() && body[wl] != ' ' && body[wl] != '\t') ++wl;
  const std::string_view word = body.substr(0, wl);
  if (word.empty()) return {};
  // Instructions that are one edit from a statement word.
  for (std::string_view m : {"and", "in", "bnd"})
    if (same_word(word, m)) return {};
  size_t core = 0;
  while (core < word.size() && (word[core] | 0x20) >= 'a' && (word[core] | 0x20) <= 'z') ++core;
  const std::string_view head = word.substr(0, core);
  // What the rest of the line must be for the word to be read as that statement: a condition
  // after if, elif and while; nothing, or a comment, after else and end (whose text nestasm
  // ignores, but operands there mean an instruction).
  const auto fits = [](std::string_view k, std::string_view after) {
    const std::string_view r = trimx(after.substr(0, comment_at(after)));
    if (k == "else" || k == "end") return r.empty();
    return find_op(r).has_value();
  };
  static constexpr std::array<std::string_view, 5> words = {"if", "elif", "else", "while", "end"};
  if (core < word.size()) {
    // A statement word with punctuation glued to it: "end.", "Elif:", "else,", "end;note". After
    // ";" the rest is a comment; after the others, the text that follows.
    const char p = word[core];
    if (std::string_view(".:,;!").find(p) == std::string_view::npos) return {};
    const std::string_view after = p == ';' ? std::string_view() : body.substr(core + 1);
    for (std::string_view k : words)
      if (same_word(head, k) && fits(k, after)) return {k, core, true};
    return {};
  }
  near_word best;
  for (std::string_view k : words)
    if (one_edit(word, k) && fits(k, body.substr(wl))) {
      if (!best.meant.empty()) return {};  // two statements near it: none is the one meant
      best = {k, word.size(), false};
    }
  return best;
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

size_t word_at(std::string_view s, std::string_view name, size_t from) {
  if (name.empty()) return std::string_view::npos;
  for (size_t p = s.find(name, from); p != std::string_view::npos; p = s.find(name, p + 1)) {
    const size_t e = p + name.size();
    if ((p == 0 || !ident_byte(s[p - 1])) && (e == s.size() || !ident_byte(s[e]))) return p;
  }
  return std::string_view::npos;
}

// Where quoted text in `s` ends, when a quote starts at `i`; the end of `s` when it never closes.
static size_t past_quote(std::string_view s, size_t i) {
  const size_t close = s.find(s[i], i + 1);
  return close == std::string_view::npos ? s.size() : close + 1;
}

static bool quote(char c) { return c == '\'' || c == '"' || c == '`'; }

std::optional<lookalike> find_lookalike(std::string_view s) {
  const auto eqish = [](char c) { return c == '=' || c == '!' || c == '<' || c == '>'; };
  for (size_t i = 0; i < s.size();) {
    const char c = s[i];
    if (quote(c)) {
      i = past_quote(s, i);
      continue;
    }
    if (c == ';') break;  // a comment
    const std::string_view at = s.substr(i);
    if (at.starts_with("===")) return lookalike{i, 3, "=="};
    if (at.starts_with("!==")) return lookalike{i, 3, "!="};
    const bool free = i == 0 || !eqish(s[i - 1]);
    if (free && at.starts_with("=>")) return lookalike{i, 2, ">="};
    if (free && at.starts_with("=<")) return lookalike{i, 2, "<="};
    if (at.starts_with("<>")) return lookalike{i, 2, "!="};
    if (at.starts_with("\xe2\x89\xa0")) return lookalike{i, 3, "!="};  // ≠
    if (at.starts_with("\xe2\x89\xa4")) return lookalike{i, 3, "<="};  // ≤
    if (at.starts_with("\xe2\x89\xa5")) return lookalike{i, 3, ">="};  // ≥
    // An operator split by blanks: "< =", "> =", "! =", "= =".
    if (c == '=' && free && i > 0) {
      size_t j = i;
      while (j > 0 && (s[j - 1] == ' ' || s[j - 1] == '\t')) --j;
      if (j > 0 && j < i) {
        switch (s[j - 1]) {
          case '<': return lookalike{j - 1, i - j + 2, "<="};
          case '>': return lookalike{j - 1, i - j + 2, ">="};
          case '!': return lookalike{j - 1, i - j + 2, "!="};
          case '=': return lookalike{j - 1, i - j + 2, "=="};
          default: break;
        }
      }
    }
    // A lone "=": neither part of nor next to an operator's other bytes.
    if (c == '=' && free && (i + 1 == s.size() || !eqish(s[i + 1]))) return lookalike{i, 1, "=="};
    // An unsigned operator in small or mixed letters, as a word of its own.
    if ((c | 0x20) == 'u' && i + 3 <= s.size() && (i == 0 || !ident_byte(s[i - 1])) &&
        (i + 3 == s.size() || !ident_byte(s[i + 3]))) {
      char up[3];
      for (size_t k = 0; k < 3; ++k) up[k] = static_cast<char>(s[i + k] & ~0x20);
      const std::string_view u(up, 3);
      for (const op_rec& o : ops)
        if (o.unsig && o.text == u && s.substr(i, 3) != o.text) return lookalike{i, 3, o.text};
    }
    if (ident_byte(c)) {
      while (i < s.size() && ident_byte(s[i])) ++i;
      continue;
    }
    ++i;
  }
  return std::nullopt;
}

std::optional<joint> find_joint(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const char c = s[i];
    if (quote(c)) {
      i = past_quote(s, i);
      continue;
    }
    if (c == ';') break;
    size_t len = 0;
    if (s.substr(i).starts_with("&&") || s.substr(i).starts_with("||")) {
      len = 2;
    } else if (ident_byte(c)) {
      size_t e = i;
      while (e < s.size() && ident_byte(s[e])) ++e;
      const std::string_view w = s.substr(i, e - i);
      if ((w.size() == 3 && (w[0] | 0x20) == 'a' && (w[1] | 0x20) == 'n' && (w[2] | 0x20) == 'd') ||
          (w.size() == 2 && (w[0] | 0x20) == 'o' && (w[1] | 0x20) == 'r'))
        len = w.size();
      else {
        i = e;
        continue;
      }
    }
    if (len > 0 && find_op(s.substr(0, i)) && find_op(s.substr(i + len))) return joint{i, len};
    i += len > 0 ? len : 1;
  }
  return std::nullopt;
}

foreign find_foreign(std::string_view s) {
  const size_t semi = comment_at(s);
  std::string_view b = trimx(s.substr(0, semi));
  std::string_view what;
  // What another language writes after a condition.
  if (b.ends_with('{')) {
    what = "`{`";
    b = trimx(b.substr(0, b.size() - 1));
  } else if (b.ends_with(':') && !b.ends_with("::")) {
    what = "`:`";
    b = trimx(b.substr(0, b.size() - 1));
  } else {
    for (std::string_view w : {"then", "do"}) {
      if (b.size() > w.size() && !ident_byte(b[b.size() - w.size() - 1])) {
        const std::string_view t = b.substr(b.size() - w.size());
        bool same = true;
        for (size_t k = 0; k < w.size(); ++k) same = same && (t[k] | 0x20) == w[k];
        if (same) {
          what = w == "then" ? "`then`" : "`do`";
          b = trimx(b.substr(0, b.size() - w.size()));
          break;
        }
      }
    }
  }
  // Parentheses around the whole of it: the "(" at the start closes at the end.
  if (b.size() >= 2 && b.front() == '(' && b.back() == ')') {
    int open = 0;
    size_t i = 0;
    for (; i < b.size(); ++i) {
      if (quote(b[i])) {
        i = past_quote(b, i) - 1;
        continue;
      }
      if (b[i] == '(') ++open;
      if (b[i] == ')' && --open == 0) break;
    }
    if (i == b.size() - 1) {
      what = what.empty() ? "parentheses" : what == "`{`" ? "parentheses and `{`" : what;
      b = trimx(b.substr(1, b.size() - 2));
    }
  }
  if (what.empty()) return {};
  return {b, what};
}

// --- pre-filters ------------------------------------------------------------------------------
// Each is a cheap test that holds whenever its full twin above can find something the warning
// acts on, so that the many conditions that hold nothing odd skip the full scan and the split.
// check_test holds each against its twin on every short text of the bytes that matter. Together
// they spare 3.4% of the checker's instructions on a 2 MB mix (851 against 881 million, callgrind).

// The bytes an operator's look-alike starts with.
static constexpr auto odd = [] {
  std::array<bool, 256> t{};
  for (unsigned char ch : {'=', '<', '>', '!', 'u', 'U'}) t[ch] = true;
  t[0xe2] = true;
  return t;
}();

bool may_lookalike(std::string_view a) {
  // Two bytes that no operator puts side by side ("=>", "=<", "<>", "= ", "===", "!==", ...),
  // the first byte of "≠", "≤" and "≥", or an unsigned operator not in capitals: most
  // conditions have none of these.
  for (size_t i = 0; i < a.size(); ++i) {
    if (!odd[static_cast<unsigned char>(a[i])]) continue;
    const char ch = a[i], n = i + 1 < a.size() ? a[i + 1] : '\0';
    if (static_cast<unsigned char>(ch) == 0xe2 || (ch == '<' && n == '>')) return true;
    if ((ch | 0x20) == 'u') {
      // A three-letter word, not all capitals: "ult", "Ugt".
      const bool word = (i == 0 || !ident_byte(a[i - 1])) && i + 3 <= a.size() &&
                        (i + 3 == a.size() || !ident_byte(a[i + 3]));
      if (word && (ch == 'u' || (a[i + 1] >= 'a' && a[i + 1] <= 'z') ||
                   (a[i + 2] >= 'a' && a[i + 2] <= 'z')))
        return true;
    } else if (ch == '=') {
      const char b = i ? a[i - 1] : ' ';
      const bool lone = b != '=' && b != '!' && b != '<' && b != '>';
      if (lone && n != '=') return true;
      if (n == '=' && (b == '=' || b == '!' || (i + 2 < a.size() && a[i + 2] == '='))) return true;
    } else if (n == ' ' || n == '\t') {
      size_t j = i + 1;
      while (j < a.size() && (a[j] == ' ' || a[j] == '\t')) ++j;
      if (j < a.size() && a[j] == '=') return true;
    }
  }
  return false;
}

bool may_join(std::string_view a) {
  // "&&", "||", or a word that starts with "a" or "o" after any byte that ends a name: a blank,
  // a tab, a parenthesis.
  for (size_t i = 0; i < a.size(); ++i) {
    const char ch = a[i];
    if (ch == '&' || ch == '|') return true;
    if (((ch | 0x20) == 'a' || (ch | 0x20) == 'o') && (i == 0 || !ident_byte(a[i - 1])))
      return true;
  }
  return false;
}

bool may_be_foreign(std::string_view a) {
  a = trimx(a);
  if (a.empty()) return false;
  const char f = a[0], b = a.back();
  return f == '(' || b == '{' || b == ':' || (b | 0x20) == 'n' || (b | 0x20) == 'o' ||
         a.find(';') != std::string_view::npos;
}
