// NASM's options for a source from the build's compile_commands.json: the entry whose compiler
// is NASM and whose file is the source, or the .asm that nestasm made of it.
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <algorithm>
#include <string>
#include <vector>

#include "driver/driver.h"

#ifdef NESTASM_JSON
#include <nlohmann/json.hpp>

namespace {

std::string parent(const std::string& p) {
  const size_t s = p.rfind('/');
  return s == std::string::npos ? "." : s == 0 ? "/" : p.substr(0, s);
}

// `p` without the last extension of its final component.
std::string stem(const std::string& p) {
  const size_t dot = p.rfind('.');
  const size_t slash = p.rfind('/');
  return dot == std::string::npos || (slash != std::string::npos && dot < slash) ? p : p.substr(0, dot);
}

// `p` with "." and "x/.." taken out, as a path of text; `p` is absolute.
std::string tidy(const std::string& p) {
  std::vector<std::string> parts;
  for (size_t i = 0; i < p.size();) {
    size_t e = p.find('/', i);
    if (e == std::string::npos) e = p.size();
    const std::string w = p.substr(i, e - i);
    if (w == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!w.empty() && w != ".") {
      parts.push_back(w);
    }
    i = e + 1;
  }
  std::string out;
  for (const std::string& w : parts) out += "/" + w;
  return out.empty() ? "/" : out;
}

// The words of a shell command line: blanks split, quotes and backslashes as sh reads them.
std::vector<std::string> words_of(std::string_view s) {
  std::vector<std::string> out;
  std::string w;
  bool in = false;
  for (size_t i = 0; i < s.size(); ++i) {
    const char ch = s[i];
    if (ch == ' ' || ch == '\t' || ch == '\n') {
      if (in) out.push_back(w);
      w.clear();
      in = false;
    } else if (ch == '\'' || ch == '"') {
      in = true;
      for (++i; i < s.size() && s[i] != ch; ++i) {
        if (ch == '"' && s[i] == '\\' && i + 1 < s.size()) ++i;
        w += s[i];
      }
    } else {
      in = true;
      if (ch == '\\' && i + 1 < s.size()) ++i;
      w += s[i];
    }
  }
  if (in) out.push_back(w);
  return out;
}

// How well the entry's file `f` (absolute) stands for the source `src`: the source itself, or
// the .asm beside it (best), or the .asm that nestasm_sources() makes of it in the build tree,
// "BIN/nestasm/REL.asm" for the source "SRC/REL.s" (the longer REL, the better); 0: not it.
size_t fits(const std::string& f, const std::string& src) {
  if (f == src) return std::string::npos;
  if (!f.ends_with(".asm")) return 0;
  const std::string fs = stem(f), ss = stem(src);
  if (fs == ss) return std::string::npos - 1;
  const size_t at = fs.rfind("/nestasm/");
  if (at == std::string::npos) return 0;
  const std::string rel = fs.substr(at + 9);
  return !rel.empty() && ss.ends_with("/" + rel) ? rel.size() : 0;
}

// The options of NASM's that the checker takes from one entry's words: -f, -I (made absolute
// from `dir`), -D, -U, -w. False when the entry pre-includes a file (-p, -P), whose names are
// not known.
bool take(const std::vector<std::string>& w, const std::string& dir, std::vector<std::string>& args) {
  bool whole = true;
  for (size_t i = 1; i < w.size(); ++i) {
    std::string a = w[i];
    for (const char* o : {"-f", "-I", "-i", "-D", "-d", "-U", "-u", "-w", "-p", "-P"})
      if (a == o && i + 1 < w.size()) a += w[++i];
    if (a.size() < 3 || a[0] != '-') continue;
    const char k = a[1];
    if (k == 'p' || k == 'P' || a.starts_with("--before")) whole = false;
    if (k == 'i' || k == 'I') {
      std::string d = a.substr(2);
      if (d[0] != '/') d = tidy(dir + "/" + d) + (d.ends_with('/') ? "/" : "");
      args.push_back("-I" + d);
    } else if (k == 'f' || k == 'D' || k == 'd' || k == 'U' || k == 'u' || k == 'w') {
      args.push_back(a);
    }
  }
  return whole;
}

// The nearest compile_commands.json above `from` with an entry for `src` or `alt`.
bool look_up(const std::string& from, const std::string& src, const std::string& alt, nasm_from& out) {
  for (std::string dir = from;; dir = parent(dir)) {
    for (const std::string& db : {dir + "/compile_commands.json", dir + "/build/compile_commands.json"}) {
      FILE* f = std::fopen(db.c_str(), "rb");
      if (!f) continue;
      std::string text;
      char buf[65536];
      for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0 && text.size() < (64u << 20);)
        text.append(buf, n);
      std::fclose(f);
      const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
      if (j.is_discarded() || !j.is_array()) continue;
      size_t best = 0;
      for (const nlohmann::json& e : j) {
        if (!e.is_object() || !e.contains("file") || !e["file"].is_string()) continue;
        std::string d = e.value("directory", std::string());
        // Made absolute from the folder of the compile_commands.json, as tools read it.
        if (d.empty() || d[0] != '/') d = tidy(parent(db) + "/" + d);
        std::vector<std::string> w;
        if (e.contains("arguments") && e["arguments"].is_array()) {
          for (const nlohmann::json& a : e["arguments"])
            if (a.is_string()) w.push_back(a.get<std::string>());
        } else if (e.contains("command") && e["command"].is_string()) {
          w = words_of(e["command"].get<std::string>());
        }
        if (w.empty()) continue;
        const std::string cc = w[0].substr(w[0].rfind('/') + 1);
        if (!cc.starts_with("nasm")) continue;
        std::string file = e["file"].get<std::string>();
        if (file.empty()) continue;
        file = tidy(file[0] == '/' ? file : d + "/" + file);
        const size_t fit = std::max(fits(file, src), fits(file, alt));
        if (fit <= best) continue;
        best = fit;
        out.args.clear();
        out.whole = take(w, d, out.args);
        out.cwd = d;
        out.where = db;
        out.entry = file;
      }
      if (best > 0) return true;
    }
    if (dir == "/") return false;
  }
}

}  // namespace
#endif

bool compdb_args(std::string_view path, nasm_from& out) {
#ifdef NESTASM_JSON
  // The path as given, made absolute, and the file it is after links: a source linked into the
  // folder of its build is found from either.
  std::string given(path);
  if (given.empty()) return false;
  if (given[0] != '/') {
    char* cwd = getcwd(nullptr, 0);
    if (!cwd) return false;
    given = std::string(cwd) + "/" + given;
    std::free(cwd);
  }
  given = tidy(given);
  char* real = realpath(given.c_str(), nullptr);
  if (!real) return false;
  const std::string src = real;
  std::free(real);
  return look_up(parent(given), given, src, out) ||
         (parent(src) != parent(given) && look_up(parent(src), given, src, out));
#else
  (void)path;
  (void)out;
  return false;
#endif
}
