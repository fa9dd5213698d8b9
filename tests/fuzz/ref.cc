// The notation's rules written out one step at a time, with no shortcut the real translator takes:
// one std::string per line, a vector of blocks with their labels as text, and numbers through
// std::to_string. Slow on purpose; it only has to be obviously right.
#include "ref.h"

#include "common/common.h"

#include <cctype>
#include <optional>
#include <vector>

namespace {

enum { k_if = 0, k_else = 1, k_while = 2 };

struct blk {
  int kind = k_if;
  int64_t depth = 0;  // 64 bits so no line, however many markers it has, can overflow it
  std::string else_lbl;
  std::string end_lbl;
  std::string head_lbl;
};

struct cond {
  std::string lhs;
  std::string op;
  std::string rhs;
};

// Everything one translation touches; a fresh one per run, so runs cannot leak into each other.
struct run_state {
  std::vector<std::string> out;
  std::vector<blk> stk;
  int64_t lbl_n = 0;
};

bool space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string trim(std::string s) {
  while (!s.empty() && space(s.back())) s.pop_back();
  size_t i = 0;
  while (i < s.size() && space(s[i])) ++i;
  return s.substr(i);
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::vector<std::string> split_lines(std::string_view text) {
  std::vector<std::string> lines;
  std::string cur;
  bool open = false;  // bytes seen since the last line feed
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(cur);
      cur.clear();
      open = false;
    } else {
      cur += c;
      open = true;
    }
  }
  if (open) lines.push_back(cur);
  for (std::string& l : lines)
    if (!l.empty() && l.back() == '\r') l.pop_back();
  return lines;
}

std::string make_lbl(run_state& s, const std::string& prefix) {
  const int64_t n = s.lbl_n;
  s.lbl_n = n + 1;
  return "." + prefix + "_" + std::to_string(n);
}

std::optional<cond> parse_if(const std::string& text) {
  static const char* const ops[] = {"==", "!=", ">=", "<=", "UGT", "UGE", "ULT", "ULE", ">", "<"};
  for (const char* op : ops) {
    const std::string o = op;
    const size_t at = text.find(o);
    if (at == std::string::npos) continue;
    cond c{trim(text.substr(0, at)), o, trim(text.substr(at + o.size()))};
    if (c.lhs.empty() || c.rhs.empty()) return std::nullopt;
    return c;
  }
  return std::nullopt;
}

bool hex_form(const std::string& t) {
  return t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X');
}

bool isnum2(const std::string& t) {
  if (t.empty()) return false;
  if (hex_form(t)) {
    for (size_t i = 2; i < t.size(); ++i)
      if (!std::isxdigit(static_cast<unsigned char>(t[i]))) return false;
    return true;
  }
  for (char c : t)
    if (c < '0' || c > '9') return false;
  return true;
}

bool isimm2(const std::string& t) {
  return isnum2(t) || (t.size() >= 2 && t.front() == '\'' && t.back() == '\'');
}

int digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// The value of a number, or nothing when it is above the largest signed 64-bit value.
std::optional<int64_t> numparse(const std::string& t) {
  const bool hex = hex_form(t);
  const int64_t base = hex ? 16 : 10;
  int64_t v = 0;
  for (size_t i = hex ? 2 : 0; i < t.size(); ++i) {
    const int d = digit(t[i]);
    if (v > (INT64_MAX - d) / base) return std::nullopt;
    v = v * base + d;
  }
  return v;
}

enum konst { not_const, const_true, const_false, too_big };

konst constcmp(const cond& c) {
  if (!isnum2(c.lhs) || !isnum2(c.rhs)) return not_const;
  const std::optional<int64_t> a = numparse(c.lhs);
  const std::optional<int64_t> b = numparse(c.rhs);
  if (!a || !b) return too_big;
  const uint64_t ua = static_cast<uint64_t>(*a);
  const uint64_t ub = static_cast<uint64_t>(*b);
  bool t = false;
  if (c.op == "==") t = *a == *b;
  else if (c.op == "!=") t = *a != *b;
  else if (c.op == ">=") t = *a >= *b;
  else if (c.op == "<=") t = *a <= *b;
  else if (c.op == ">") t = *a > *b;
  else if (c.op == "<") t = *a < *b;
  else if (c.op == "UGT") t = ua > ub;
  else if (c.op == "UGE") t = ua >= ub;
  else if (c.op == "ULT") t = ua < ub;
  else if (c.op == "ULE") t = ua <= ub;
  else return not_const;
  return t ? const_true : const_false;
}

bool is_unsigned(const std::string& op) {
  return op == "UGT" || op == "UGE" || op == "ULT" || op == "ULE";
}

std::string jmpfalse(const std::string& op, bool unsig) {
  if (unsig) {
    if (op == "UGT") return "jbe";
    if (op == "UGE") return "jb";
    if (op == "ULT") return "jae";
    if (op == "ULE") return "ja";
    return "jne";
  }
  if (op == "==") return "jne";
  if (op == "!=") return "je";
  if (op == ">=") return "jl";
  if (op == "<=") return "jg";
  if (op == ">") return "jle";
  if (op == "<") return "jge";
  return "jne";
}

void close_blk(run_state& s, const blk& b) {
  if (b.kind == k_if) {
    s.out.push_back(b.else_lbl + ":");
    s.out.push_back(b.end_lbl + ":");
  } else if (b.kind == k_else) {
    s.out.push_back(b.end_lbl + ":");
  } else {
    s.out.push_back("jmp " + b.head_lbl);
    s.out.push_back(b.end_lbl + ":");
  }
}

void close_til(run_state& s, int64_t n) {
  while (!s.stk.empty() && s.stk.back().depth >= n) {
    const blk b = s.stk.back();
    s.stk.pop_back();
    close_blk(s, b);
  }
}

// The test and jump of a condition decided at run time; `imm_status` is the statement's own.
int compare(run_state& s, const cond& c, const std::string& target, int imm_status) {
  if (isimm2(c.lhs)) return imm_status;
  s.out.push_back("cmp " + lower(c.lhs) + ", " + c.rhs);
  s.out.push_back(jmpfalse(c.op, is_unsigned(c.op)) + " " + target);
  return 0;
}

int do_if(run_state& s, int64_t depth, const std::string& arg) {
  const std::optional<cond> c = parse_if(arg);
  if (!c) return 3;
  const std::string e = make_lbl(s, "if_else");
  const std::string n = make_lbl(s, "if_end");
  const konst k = constcmp(*c);
  if (k == too_big) return 12;
  if (k == const_false) s.out.push_back("jmp " + e);
  if (k == not_const) {
    const int st = compare(s, *c, e, 4);
    if (st != 0) return st;
  }
  s.stk.push_back({k_if, depth, e, n, ""});
  return 0;
}

bool if_on_top(const run_state& s, int64_t depth) {
  return !s.stk.empty() && s.stk.back().kind == k_if && s.stk.back().depth == depth;
}

int do_elif(run_state& s, int64_t depth, const std::string& arg) {
  if (!if_on_top(s, depth)) return 5;
  const blk p = s.stk.back();
  s.stk.pop_back();
  s.out.push_back("jmp " + p.end_lbl);
  s.out.push_back(p.else_lbl + ":");
  const std::optional<cond> c = parse_if(arg);
  if (!c) return 6;
  const std::string e = make_lbl(s, "if_else");
  const konst k = constcmp(*c);
  if (k == too_big) return 12;
  if (k == const_false) s.out.push_back("jmp " + e);
  if (k == not_const) {
    const int st = compare(s, *c, e, 7);
    if (st != 0) return st;
  }
  s.stk.push_back({k_if, depth, e, p.end_lbl, ""});
  return 0;
}

int do_else(run_state& s, int64_t depth) {
  if (!if_on_top(s, depth)) return 8;
  const blk p = s.stk.back();
  s.stk.pop_back();
  s.out.push_back("jmp " + p.end_lbl);
  s.out.push_back(p.else_lbl + ":");
  s.stk.push_back({k_else, depth, "", p.end_lbl, ""});
  return 0;
}

int do_while(run_state& s, int64_t depth, const std::string& arg) {
  const std::optional<cond> c = parse_if(arg);
  if (!c) return 9;
  const std::string h = make_lbl(s, "while_head");
  const std::string n = make_lbl(s, "while_end");
  s.out.push_back(h + ":");
  const konst k = constcmp(*c);
  if (k == too_big) return 12;
  // A loop that is never entered jumps past its body, which the scanner still copies out.
  if (k == const_false) s.out.push_back("jmp " + n);
  if (k == not_const) {
    const int st = compare(s, *c, n, 10);
    if (st != 0) return st;
  }
  s.stk.push_back({k_while, depth, "", n, h});
  return 0;
}

int do_end(run_state& s, int64_t depth) {
  if (s.stk.empty() || s.stk.back().depth != depth) return 11;
  const blk p = s.stk.back();
  s.stk.pop_back();
  close_blk(s, p);
  return 0;
}

int translate_line(run_state& s, const std::string& line) {
  size_t i = 0;
  int64_t depth = 0;
  while (i < line.size() && (line[i] == '&' || line[i] == ' ')) {
    if (line[i] == '&') ++depth;
    ++i;
  }
  const std::string body = trim(line.substr(i));
  close_til(s, depth + 1);
  if (body.empty() || body[0] == ';') {
    s.out.push_back(line);
    return 0;
  }
  const size_t cut = body.find_first_of(" \t");
  const std::string word = lower(cut == std::string::npos ? body : body.substr(0, cut));
  const std::string arg = trim(body.substr(word.size()));
  if (word == "if") return do_if(s, depth, arg);
  if (word == "elif") return do_elif(s, depth, arg);
  if (word == "else") return do_else(s, depth);
  if (word == "while") return do_while(s, depth, arg);
  if (word == "end") return do_end(s, depth);
  s.out.push_back(body);
  return 0;
}

}  // namespace

ref_run ref_translate(std::string_view text) {
  const std::vector<std::string> lines = split_lines(text);
  run_state s;
  ref_run r;
  for (size_t n = 0; n < lines.size(); ++n) {
    const int st = translate_line(s, lines[n]);
    if (st != 0) {
      r.status = st;
      r.err = message(st);  // the status table the translator reports from
      r.stop = static_cast<int64_t>(n);
      r.labels = s.lbl_n;
      return r;
    }
  }
  close_til(s, 0);
  for (const std::string& o : s.out) r.out += o + "\n";
  r.stop = static_cast<int64_t>(lines.size());
  r.labels = s.lbl_n;
  return r;
}
