// nestasm-check: say where and why nestasm would fail on a file, and warn of lines it accepts
// that almost certainly do not mean what they say.
#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <unistd.h>
#include <string>
#include <string_view>
#include <vector>

#include "check/check.h"
#include "common/common.h"
#include "driver/driver.h"
#include "scan/scan.h"

#ifndef NESTASM_VERSION
#define NESTASM_VERSION "0"
#endif

static const char usage_head[] =
    "usage: nestasm-check [OPTIONS] FILE...\n"
    "       nestasm-check --lines FILE\n"
    "Check each FILE as nestasm translates it; write no file. Diagnostics go to stdout as\n"
    "FILE:LINE:COL: error|warning|note: TEXT [NAME], each followed by its source line.\n"
    "\n"
    "  -Wno-NAME       do not report the warning NAME\n"
    "  -WNAME          report it again\n"
    "  -Werror         a warning fails the check as an error does\n"
    "  --format=json   print one JSON array of diagnostics instead\n"
    "  --format=text   the default\n"
    "  --brief         one line per diagnostic, without the source line and caret\n"
    "  --lines         print FILE's translation with NASM %line directives, which make NASM's\n"
    "                  messages and debug line tables name the lines of FILE; diagnostics go\n"
    "                  to stderr\n"
    "  --no-assemble   do not have NASM assemble the translation\n"
    "  --verbose       a note of where NASM's options came from\n"
    "  --nasm=PATH     the NASM to run (default: nasm on PATH, when it is there); its errors\n"
    "                  and warnings are shown at the lines of FILE they come from\n"
    "  -f FORMAT, -I DIR, -D NAME[=VALUE], -U NAME, -w[+-]WARNING\n"
    "                  NASM's own options, passed on to it; without -f, only what NASM\n"
    "                  rejects as bin, elf32 and elf64 alike is shown. Without any, those of\n"
    "                  .nestasm or of the build's compile_commands.json are taken\n"
    "  --help          this text\n"
    "  --version       the version\n"
    "\n";

static const char usage_tail[] =
    "\n"
    "Exit status: 0 no file has an error; 1 some file has one (or a warning, under -Werror);\n"
    "2 a file cannot be read, memory runs out, the diagnostics cannot be written, or the\n"
    "command line is wrong.\n";

// The usage text, with the names of the warnings filled in from their table, lines of at most
// 90 columns.
static std::string usage() {
  std::string u = usage_head;
  std::string line = "Warnings:";
  for (const warning_rec& w : warning_table()) {
    if (line.size() + 1 + w.name.size() > 90) {
      u += line + "\n";
      line.clear();
    } else {
      line += ' ';
    }
    line += w.name;
  }
  return u + line + "\n" + usage_tail;
}

namespace {

// Where diagnostics collect before they are written, 64 KiB at a time.
struct out_state {
  int fd = 1;
  bool json = false;
  bool brief = false;
  bool first = true;  // no JSON object written yet
  std::string buf;    // JSON
  std::unique_ptr<char[]> text;  // the text form, written in place
  size_t len = 0;
  size_t cap = 0;
  std::string_view file;
  bool lost = false;  // a write failed: what was found did not reach the reader
  void flush() {
    if (!write_all(fd, buf)) lost = true;
    buf.clear();
    if (!write_all(fd, std::string_view(text.get(), len))) lost = true;
    len = 0;
  }
  char* room(size_t n) {
    if (cap - len < n) {
      flush();
      if (n > cap) {
        cap = std::max<size_t>(n, 1u << 17);
        text.reset(new char[cap]);
      }
    }
    return text.get() + len;
  }
};

void print(const diag& d, void* ctx) {
  out_state& o = *static_cast<out_state*>(ctx);
  if (o.json) {
    o.buf += o.first ? "[\n  " : ",\n  ";
    o.first = false;
    format_json(o.buf, o.file, d);
    if (o.buf.size() >= (1u << 16)) o.flush();
    return;
  }
  char* p = o.room(o.text ? std::max(o.cap / 2, text_room(o.file, d)) : text_room(o.file, d));
  o.len = static_cast<size_t>(format_text(p, o.file, d, o.brief) - o.text.get());
}

// operator new calls this when it finds no memory, before it would throw and abort the check.
void no_memory() {
  write_all(2, "nestasm-check: no memory\n");
  _exit(2);
}

// `p` as seen from this process's folder: without it when it is inside.
std::string shown(const std::string& p) {
  char* cwd = getcwd(nullptr, 0);
  std::string here = cwd ? cwd : "";
  std::free(cwd);
  return !here.empty() && p.starts_with(here + "/") ? p.substr(here.size() + 1) : p;
}

// NASM's options for `path`, and (`from`) a note of where they came from: the command line
// and the project file together, the command line's last so that they win; only when neither
// gives any, the build's compile_commands.json. `known`: they came from somewhere, and are
// taken as the build's whole set.
nasm_opts nasm_for(const char* path, const nasm_opts& cmd, std::string& from, bool& known) {
  nasm_opts here = cmd;
  std::string project;
  std::vector<std::string> args = project_args(path, &project);
  args.insert(args.end(), cmd.args.begin(), cmd.args.end());
  known = !cmd.args.empty() || !project.empty();
  std::string what = !cmd.args.empty() && !project.empty() ? "the command line and " + shown(project)
                     : !project.empty()                    ? shown(project)
                     : !cmd.args.empty()                   ? std::string("the command line")
                                                           : std::string();
  nasm_from db;
  if (!known && compdb_args(path, db)) {
    args = db.args;
    here.cwd = db.cwd;
    known = db.whole;
    what = shown(db.where) + ", the entry of " + shown(db.entry) +
           (db.whole ? "" : " (which pre-includes a file, whose names are not known)");
  }
  here.args = std::move(args);
  if (what.empty()) {
    from = "NASM's options: none given (no -f, -I, -D, -U or -w, no .nestasm, no compile_commands.json entry)";
    return here;
  }
  from = "NASM's options come from " + what + ":";
  for (const std::string& a : here.args) from += " " + (a.starts_with("-I/") ? "-I" + shown(a.substr(2)) : a);
  if (here.args.empty()) from += " none";
  return here;
}

int bad_usage(std::string_view why) {
  std::string m = "nestasm-check: ";
  m += why;
  m += "\nTry 'nestasm-check --help'.\n";
  write_all(2, m);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::set_new_handler(no_memory);
  check_opts opts;
  bool werror = false;
  bool json = false;
  bool assembling = true;
  bool lines = false;  // --lines: print the translation
  nasm_opts nasm;
  bool brief = false;
  bool verbose = false;
  std::vector<const char*> files;
  bool more_opts = true;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (!more_opts || a.empty() || a[0] != '-' || a == "-") {
      files.push_back(argv[i]);
    } else if (a == "--") {
      more_opts = false;
    } else if (a == "--help") {
      write_all(1, usage());
      return 0;
    } else if (a == "--version") {
      write_all(1, "nestasm-check " NESTASM_VERSION "\n");
      return 0;
    } else if (a == "--format=json") {
      json = true;
    } else if (a == "--format=text") {
      json = false;
    } else if (a == "--brief") {
      brief = true;
    } else if (a == "--lines") {
      lines = true;
    } else if (a == "--verbose") {
      verbose = true;
    } else if (a == "--no-assemble") {
      assembling = false;
    } else if (a.starts_with("--nasm=")) {
      nasm.path = a.substr(7);
      if (nasm.path.empty()) return bad_usage("--nasm= names no program");
    } else if (a == "-f" || a == "-I" || a == "-D" || a == "-U" || a == "-w") {
      if (i + 1 >= argc) return bad_usage(std::string(a) + " wants a value after it");
      nasm.args.push_back(std::string(a) + argv[++i]);
    } else if (a.starts_with("-f") || a.starts_with("-I") || a.starts_with("-D") ||
               a.starts_with("-U") || a.starts_with("-w")) {
      nasm.args.emplace_back(a);
    } else if (a == "-Werror") {
      werror = true;
    } else if (a.starts_with("-W")) {
      const bool no = a.starts_with("-Wno-");
      const std::optional<wname> w = wname_from(a.substr(no ? 5 : 2));
      if (!w) return bad_usage("unknown warning in " + std::string(a));
      const wset bit = wset{1} << static_cast<int>(*w);
      opts.off = no ? opts.off | bit : opts.off & ~bit;
    } else {
      return bad_usage("unknown option " + std::string(a));
    }
  }
  if (files.empty()) return bad_usage("no input file");
  if (lines && files.size() != 1) return bad_usage("--lines takes exactly one file");
  // NASM reads the translation with %line directives, so that it names the lines of FILE.
  opts.lines = lines || assembling;

  out_state o;
  o.json = json;
  o.brief = brief;
  // With --lines the translation has stdout to itself.
  o.fd = lines ? 2 : 1;
  bool unreadable = false;
  bool failed = false;
  for (const char* path : files) {
    o.file = path;
    errno = 0;
    if (!read_input(path)) {
      diag d;
      d.lvl = level::error;
      d.status = static_cast<int>(st::cant_open);
      d.text = "cant open: ";
      d.text += errno ? std::strerror(errno) : "the file cannot be read";
      print(d, &o);
      unreadable = true;
      continue;
    }
    opts.file = path;
    std::string from;
    nasm_opts here = nasm_for(path, nasm, from, opts.nasm_known);
    opts.nasm_args = &here.args;
    opts.nasm_cwd = here.cwd;
    if (verbose) {
      diag d;
      d.text = from;
      print(d, &o);
    }
    // With NASM, the diagnostics wait for its verdict, through which their suggestions are
    // followed before any is printed.
    std::vector<diag> held;
    check_result r = assembling ? check_text(file_lines, opts, held)
                                : check_text(file_lines, opts, print, &o);
    // NASM's verdict on the translation, when it was made to the end.
    nasm_verdict nv;
    const bool translated = r.status == 0;
    if (assembling && translated) nv = assemble(r.lines, path, here);
    if (assembling) {
      if (!nv.missing) nasm_fixes(held, file_lines, translated ? &nv : nullptr, opts, here);
      for (const diag& d : held) print(d, &o);
    }
    // What nestasm ends with beyond the statement errors the check has told of already.
    const std::string out = out_path(path);
    const int v = verdict(r.status, names_input(out, path));
    if (v != r.status) {
      diag d;
      d.lvl = level::error;
      d.status = v;
      d.text = v == static_cast<int>(st::same_file)
                   ? "same file: the output path " + out +
                         " names the input itself, so nestasm would refuse to write it"
                   : "cant open: the file changed while it was read";
      print(d, &o);
      r.status = v;
    }
    if (assembling && r.status == 0) {
      // Without NASM on PATH, and none asked for, there is nothing to say.
      if (!(nv.missing && nasm.path.empty())) {
        for (const diag& d : nasm_diags(nv, file_lines, r.lines)) {
          print(d, &o);
          if (d.lvl == level::error || (d.lvl == level::warning && werror)) failed = true;
        }
        // Why NASM was run so, beside the note of why its verdict is left out.
        if (!nv.note.empty() && !verbose && from.starts_with("NASM's options come")) {
          diag d;
          d.text = from;
          print(d, &o);
        }
      }
    }
    if (r.status != 0 || (werror && r.warnings > 0)) failed = true;
    if (lines && r.status == 0) {
      o.flush();
      // Through nestasm's own echo: the same bytes reach stdout the same way.
      out_bytes made;
      made.text = r.lines;
      if (!echo_output(made)) {
        write_all(2, "nestasm-check: cannot write the translation\n");
        return 2;
      }
    }
  }
  if (json) o.buf += o.first ? "[]\n" : "\n]\n";
  o.flush();
  // A check whose findings are lost passes nothing, not even a file without any.
  if (o.lost) {
    write_all(2, "nestasm-check: cannot write the diagnostics\n");
    return 2;
  }
  if (unreadable) return 2;
  return failed ? 1 : 0;
}
