// Input generators for the benchmarks: a fixed-seed random walk through well-formed nesting.
#include "gen.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace {

// splitmix64: tiny, fast, and the same sequence on every platform.
struct rng {
  uint64_t s = 0x6e65737461736dULL;
  uint64_t next() {
    uint64_t z = (s += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  size_t below(size_t n) { return static_cast<size_t>(next() % n); }
  template <class A>
  std::string_view pick(const A& a) { return a[below(a.size())]; }
};

constexpr std::array<std::string_view, 24> instrs = {
    "mov eax, ebx",        "add ecx, 4",          "sub esp, 16",         "lea esi, [ebx+ecx*4]",
    "push ebp",            "pop edi",             "call print_int",      "inc edx",
    "dec ecx",             "xor eax, eax",        "mov dword [ebp-8], 0", "cmp al, 'a'",
    "shl eax, 2",          "ret",                 "nop",                 "imul ebx, ecx",
    "mov al, byte [esi]",  "movzx eax, al",       "test eax, eax",       "jmp .done",
    "mov   ecx,   [esp+4]", "and edx, 0xff",      "or eax, 1",           "syscall"};

constexpr std::array<std::string_view, 10> lhss = {
    "eax", "ebx", "ecx", "edx", "esi", "edi", "EAX", "al", "dword [ebp-8]", "byte [esi]"};

constexpr std::array<std::string_view, 8> rhss = {
    "ebx", "ecx", "0", "10", "0x7f", "'a'", "[edi+4]", "EDX"};

constexpr std::array<std::string_view, 10> opnames = {
    "==", "!=", ">=", "<=", "UGT", "UGE", "ULT", "ULE", ">", "<"};

constexpr std::array<std::string_view, 6> notes = {
    "; loop over the table",      "; eax holds the count",
    "; TODO: bounds check",       ";",
    ";; --- helpers ---",         "; restore the frame before returning"};

constexpr std::array<std::string_view, 4> indents = {"", "    ", "\t", "  "};

struct mixer {
  rng r;
  std::string out;
  std::vector<int> open;  // kinds of the open blocks; block i was opened at depth i

  void markers(size_t d) {
    if (r.below(4) == 0) {
      out.append(d, '&');
      if (d) out += ' ';
    } else {
      for (size_t i = 0; i < d; ++i) out += "& ";
    }
  }

  // A line at depth `d` ends every block opened deeper than `d`.
  void at(size_t d) {
    if (open.size() > d + 1) open.resize(d + 1);
    markers(d);
  }

  void keyword(std::string_view kw) {
    if (r.below(20) == 0) {
      for (char c : kw) out += static_cast<char>(c - 'a' + 'A');
    } else {
      out += kw;
    }
  }

  void cond() {
    // A few conditions between two numbers, decided while translating.
    if (r.below(30) == 0) {
      out += r.below(2) ? "1 == 1" : "0 UGT 1";
      return;
    }
    out += r.pick(lhss);
    out += ' ';
    out += r.pick(opnames);
    out += ' ';
    if (r.below(3) == 0) {
      out += std::to_string(r.below(100000));
    } else {
      out += r.pick(rhss);
    }
  }

  void plain(size_t d) {
    at(d);
    out += r.pick(indents);
    out += r.pick(instrs);
    if (r.below(8) == 0) out += "  ; note";
    if (r.below(10) == 0) out += "   ";
    out += '\n';
  }

  void statement(size_t d, std::string_view kw, bool with_cond) {
    at(d);
    keyword(kw);
    if (with_cond) {
      out += ' ';
      cond();
    }
    out += '\n';
  }

  // One line, chosen so that the text stays well formed: an if/while opens a block one deeper
  // than the last, elif/else only meet an if-block at their own depth, end only an open block.
  void line() {
    const size_t n = open.size();
    const size_t x = r.below(1000);
    if (x < 80) {
      if (n < 6) {
        statement(n, "if", true);
        open.push_back(0);
        return;
      }
    } else if (x < 120) {
      if (n < 6) {
        statement(n, "while", true);
        open.push_back(2);
        return;
      }
    } else if (x < 170) {
      // Usually the innermost block; now and then one further out, closing the inner ones by depth.
      size_t k = n;
      while (k > 0 && open[k - 1] != 0) {
        if (r.below(2)) break;
        --k;
      }
      if (k > 0 && open[k - 1] == 0) {
        const bool elif = x < 150;
        statement(k - 1, elif ? "elif" : "else", elif);
        open[k - 1] = elif ? 0 : 1;
        return;
      }
    } else if (x < 170 + 40 + 25 * n) {
      if (n > 0) {
        statement(n - 1, "end", false);
        open.pop_back();
        return;
      }
    } else if (x < 420) {
      at(r.below(10) == 0 ? r.below(n + 1) : n);
      out += r.pick(indents);
      out += r.pick(notes);
      out += '\n';
      return;
    } else if (x < 460) {
      if (r.below(4) == 0) {
        at(0);  // a truly empty line: closes every block deeper than depth 0
      } else {
        at(n);
      }
      out += '\n';
      return;
    } else if (x < 480 && n > 1) {
      plain(r.below(n - 1));  // back out of the inner blocks without an end
      return;
    }
    plain(n);
  }
};

}  // namespace

std::string gen_mix(size_t size) {
  mixer m;
  m.out.reserve(size + 4096);
  while (m.out.size() < size) m.line();
  while (!m.open.empty()) {
    m.statement(m.open.size() - 1, "end", false);
    m.open.pop_back();
  }
  return std::move(m.out);
}

std::string gen_stack(size_t n) {
  std::string s;
  s.reserve(n * 16);
  for (size_t i = 0; i < n; ++i) s += "if eax == 1\n";
  for (size_t i = 0; i < n; ++i) s += "end\n";
  return s;
}

std::string gen_line(size_t size) {
  std::string s = "db 0x41";
  s.reserve(size + 8);
  while (s.size() + 6 <= size) s += ", 0x41";
  if (s.size() < size) s.append(size - s.size(), ' ');
  s += '\n';
  return s;
}

std::string gen_warns(size_t lines) {
  // Ten lines each, the third the one warned of; the last chunk's else has a branch of its own.
  static constexpr std::array<std::string_view, 6> heads = {
      "if 10h == eax\n& inc eax\n",
      "if ecx => 2\n& inc eax\n",
      "if (eax == 1) {\n& inc eax\n",
      "if eax > 5 ; skip when eax == 0\n& inc eax\n",
      "if dword [Counter] == ebx\n& inc eax\n",
      "if eax == 1\n& inc eax\n"};
  std::string s;
  s.reserve(lines * 16 + 256);
  for (size_t n = 0, k = 0; n < lines; n += 10, ++k) {
    s += "mov eax, ebx\nadd ecx, 4\n";
    s += heads[k % heads.size()];
    s += k % heads.size() == 5 ? "else if eax == 2\n" : "& mov al, byte [esi]\n";
    s += "end\nxor eax, eax  ; note\npush ebp\ncall print_int\npop ebp\n";
  }
  return s;
}
