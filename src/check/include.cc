// %include as NASM reads it, for the names an included file defines: a project's own END macro
// is then known for one. The file is looked up where NASM 2.16 looks: the folder NASM runs in,
// then each -I folder in order; not the including file's folder. A file that is not found, too
// big or too deep in includes is just not read: the check goes on without its names.
#include <cstdio>
#include <cstdlib>

#include "check/run.h"
#include "common/common.h"

namespace {

constexpr int max_nest = 4;            // includes within includes read
constexpr size_t max_files = 64;       // files read in one check
constexpr size_t max_bytes = 4u << 20; // a bigger file is not read

// The whole of `path`, when it is a readable file of at most max_bytes; `big` when larger.
bool slurp(const std::string& path, std::string& out, bool& big) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    out.append(buf, n);
    if (out.size() > max_bytes) {
      big = true;
      break;
    }
  }
  const bool ok = !std::ferror(f) && !big;
  std::fclose(f);
  return ok;
}

// The folders %include looks in, in order: NASM's current folder ("" for this process's),
// then each -I as given.
std::vector<std::string> search_path(const check_run& c) {
  std::vector<std::string> dirs = {std::string(c.o.nasm_cwd)};
  if (!c.o.nasm_args) return dirs;
  for (const std::string& a : *c.o.nasm_args)
    if ((a.starts_with("-I") || a.starts_with("-i")) && a.size() > 2) dirs.push_back(a.substr(2));
  return dirs;
}

std::string joined(const std::string& dir, std::string_view name) {
  if (dir.empty() || name.starts_with('/')) return std::string(name);
  return dir.back() == '/' ? dir + std::string(name) : dir + "/" + std::string(name);
}

// A region of the included file: as the checker's region, with no lines to tell of.
struct branch {
  bool known = true, taken = false, skip = false;
};

}  // namespace

void read_include(check_run& c, std::string_view arg, int nest, bool maybe) {
  // "file" or 'file'; NASM 2.16 takes no <file>, and a macro's name is not followed.
  if (arg.size() < 2 || (arg[0] != '"' && arg[0] != '\'')) {
    c.unread = true;
    return;
  }
  const size_t close = arg.find(arg[0], 1);
  if (close == std::string_view::npos || close == 1) {
    c.unread = true;
    return;
  }
  const std::string_view name = arg.substr(1, close - 1);
  if (nest >= max_nest || c.incs.size() >= 2 * max_files) {
    c.unread = true;
    return;
  }
  std::string text, path;
  bool found = false, big = false;
  for (const std::string& dir : search_path(c)) {
    path = joined(dir, name);
    text.clear();
    if (slurp(path, text, big)) {
      found = true;
      break;
    }
    if (big) break;
  }
  if (!found) {
    c.unread = true;
    return;
  }
  // Read once: a file that includes itself, or one read before, adds nothing new.
  char* real = realpath(path.c_str(), nullptr);
  std::string key = real ? real : path;
  std::free(real);
  for (size_t i = 0; i < c.incs.size(); i += 2)
    if (c.incs[i] == key) return;
  c.incs.push_back(std::move(key));
  c.incs.push_back(std::move(text));
  // Told by the name the %include gives, which stays put: it views the text that includes it.
  const std::string_view file = name;
  const std::string_view body = c.incs.back();
  std::vector<branch> open;
  int macro = 0;
  int64_t ln = 0;
  for (size_t pos = 0; pos < body.size(); ++ln) {
    const std::string_view l = trimx(next_line(body, pos));
    if (l.size() < 3 || l[0] != '%') continue;
    size_t e = 1;
    while (e < l.size() && e < 12 && l[e] != ' ' && l[e] != '\t' && l[e] != '(') ++e;
    const std::string w = lowerme(std::string(l.substr(1, e - 1)));
    const std::string_view rest = trimx(l.substr(e));
    const std::string_view cond = trimx(rest.substr(0, comment_at(rest)));
    const bool skipping = std::any_of(open.begin(), open.end(), [](const branch& b) { return b.skip; });
    const bool doubt = maybe || macro > 0 ||
                       std::any_of(open.begin(), open.end(), [](const branch& b) { return !b.known; });
    if (w.starts_with("if")) {
      const int v = skipping || macro > 0 ? -1 : decide(c, std::string_view(w).substr(2), cond);
      open.push_back({v >= 0, v == 1, v == 0});
      continue;
    }
    if (w.starts_with("elif") || w == "else") {
      if (open.empty()) continue;
      branch& b = open.back();
      if (std::any_of(open.begin(), open.end() - 1, [](const branch& x) { return x.skip; })) continue;
      int v = -1;
      if (b.taken) v = 0;
      else if (b.known && macro == 0) v = w == "else" ? 1 : decide(c, std::string_view(w).substr(4), cond);
      b.known = b.known && v >= 0;
      b.taken = b.taken || v == 1;
      b.skip = v == 0;
      continue;
    }
    if (w == "endif") {
      if (!open.empty()) open.pop_back();
      continue;
    }
    if (skipping) continue;
    if (w == "endmacro" || w == "endm") {
      if (macro > 0) --macro;
      continue;
    }
    if (w == "include") {
      if (macro == 0) read_include(c, cond, nest + 1, doubt);
      continue;
    }
    define(c, w, rest, ln, file, doubt);
    if (w == "macro" || w == "imacro" || w == "rmacro" || w == "irmacro") ++macro;
  }
}
