// The project file `.nestasm`: NASM's options as the project's build passes them, for every
// program that has NASM assemble a translation (the checker, the language server).
#include <cstdio>
#include <cstdlib>

#include "check/check.h"
#include "common/common.h"

// Blank lines and lines starting "#" are passed over.
std::vector<std::string> project_args(std::string_view path, std::string* where) {
  std::string dir(path);
  const size_t slash = dir.rfind('/');
  dir = slash == std::string::npos ? "." : slash == 0 ? "/" : dir.substr(0, slash);
  char* real = realpath(dir.c_str(), nullptr);
  if (!real) return {};
  dir = real;
  std::free(real);
  for (;;) {
    const std::string name = dir + "/.nestasm";
    if (FILE* f = std::fopen(name.c_str(), "r")) {
      std::vector<std::string> args;
      bool given = false;
      char buf[4096];
      while (std::fgets(buf, sizeof buf, f)) {
        std::string_view l = trimx(buf);
        if (l.empty() || l[0] == '#' || !l.starts_with("nasm")) continue;
        l = trimx(l.substr(4));
        if (l.empty() || l[0] != '=') continue;
        l = l.substr(1);
        given = true;
        std::vector<std::string> words;
        for (size_t i = 0; i < l.size();) {
          while (i < l.size() && is_space(static_cast<unsigned char>(l[i]))) ++i;
          size_t e = i;
          while (e < l.size() && !is_space(static_cast<unsigned char>(l[e]))) ++e;
          if (e > i) words.emplace_back(l.substr(i, e - i));
          i = e;
        }
        for (size_t i = 0; i < words.size(); ++i) {
          std::string w = words[i];
          if ((w == "-f" || w == "-I" || w == "-D" || w == "-w") && i + 1 < words.size())
            w += words[++i];
          if (w.starts_with("-I") && w.size() > 2 && w[2] != '/') w = "-I" + dir + "/" + w.substr(2);
          args.push_back(w);
        }
      }
      std::fclose(f);
      if (given && where) *where = name;
      return args;
    }
    if (dir == "/") break;
    const size_t s = dir.rfind('/');
    dir = s == 0 ? "/" : dir.substr(0, s);
  }
  return {};
}
