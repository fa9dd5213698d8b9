// nestasm-lsp: the language server for nestasm sources, on standard input and output.
#include <unistd.h>

#include <new>
#include <string>
#include <string_view>

#include "common/common.h"
#include "lsp/lsp.h"

#ifndef NESTASM_VERSION
#define NESTASM_VERSION "0"
#endif

static const char usage[] =
    "usage: nestasm-lsp [--stdio] [--no-assemble] [--nasm=PATH]\n"
    "Speak the Language Server Protocol on standard input and output: diagnostics, quick fixes,\n"
    "folding, highlights, definitions, symbols and hover for nestasm sources, and NASM's verdict\n"
    "on their translations. An editor starts it; see man nestasm-lsp.\n"
    "\n"
    "  --stdio          the default, and the only transport\n"
    "  --no-assemble    do not have NASM assemble the documents' translations\n"
    "  --nasm=PATH      the NASM to run (default: nasm on PATH, when it is there); its errors\n"
    "                   and warnings follow the diagnostics in a second round\n"
    "  --help           this text\n"
    "  --version        the version\n";

// operator new calls this when it finds no memory, before it would throw and abort.
static void no_memory() {
  write_all(2, "nestasm-lsp: no memory\n");
  _exit(1);
}

int main(int argc, char** argv) {
  std::set_new_handler(no_memory);
  serve_opts o;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--help") {
      write_all(1, usage);
      return 0;
    }
    if (a == "--version") {
      write_all(1, "nestasm-lsp " NESTASM_VERSION "\n");
      return 0;
    }
    // Clients name the transport, some with a process id to watch; stdio is the one spoken.
    if (a == "--stdio" || a.starts_with("--clientProcessId")) continue;
    if (a == "--no-assemble") {
      o.assemble = false;
      continue;
    }
    if (a.starts_with("--nasm=") && a.size() > 7) {
      o.nasm = a.substr(7);
      continue;
    }
    write_all(2, "nestasm-lsp: unknown option " + std::string(a) + "\nTry 'nestasm-lsp --help'.\n");
    return 2;
  }
  return serve(0, 1, o);
}
