// Each translation held against the reference and against itself; a difference aborts, which the
// fuzzer records as a finding and the replay as a failed test.
#include "oracle.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

// The translator's whole surface used here: restart, file_lines, translate_all, out_thing, lnum
// and lbl_n.
#include "codegen/codegen.h"
#include "out/out.h"
#include "scan/scan.h"

// Present when a sanitizer runtime is linked in; lets its reports bypass the captured fd 2.
extern "C" void __sanitizer_set_report_fd(void* fd) __attribute__((weak));

static int real_err = 2;
static int cap = -1;  // a scratch file that stands in for fd 2 while a translation runs

void oracle_setup() {
  if (cap >= 0) return;
  std::FILE* f = std::tmpfile();
  real_err = dup(2);
  if (!f || real_err < 0) {
    std::perror("oracle setup");
    std::abort();
  }
  cap = fileno(f);
  if (__sanitizer_set_report_fd)
    __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<intptr_t>(real_err)));
}

// Bytes as a reader can see them in a report: escapes for anything unprintable, cut short.
static std::string show(std::string_view s) {
  std::string r;
  for (unsigned char c : s.substr(0, 160)) {
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      r += static_cast<char>(c);
    } else {
      char b[8];
      std::snprintf(b, sizeof b, "\\x%02x", c);
      r += b;
    }
  }
  if (s.size() > 160) r += "...";
  return r;
}

[[noreturn]] static void fail(const char* why, std::string_view what = {}) {
  std::string m = "oracle: ";
  m += why;
  if (!what.empty()) m += ": \"" + show(what) + "\"";
  m += '\n';
  if (write(real_err, m.data(), m.size()) < 0) {
  }
  std::abort();
}

// The translator in process, reported as the reference reports it: the output only when the
// run succeeded, since main() writes nothing after a failure.
ref_run core_run(std::string_view text) {
  oracle_setup();
  restart();
  file_lines = text;
  if (ftruncate(cap, 0) != 0 || lseek(cap, 0, SEEK_SET) != 0 || dup2(cap, 2) < 0)
    fail("cannot capture standard error");
  ref_run r;
  r.status = translate_all();
  if (dup2(real_err, 2) < 0) fail("cannot restore standard error");
  const off_t n = lseek(cap, 0, SEEK_CUR);
  r.err.resize(static_cast<size_t>(n));
  if (n > 0 && pread(cap, r.err.data(), r.err.size(), 0) != n) fail("cannot read captured stderr");
  if (r.status == 0) r.out = out_thing.view();
  r.stop = lnum;
  r.labels = lbl_n;
  return r;
}

// The line of `a` that holds the first byte where `a` and `b` part, and its index.
static std::string_view parting_line(std::string_view a, std::string_view b, size_t& index) {
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  const size_t nl = i == 0 ? std::string_view::npos : a.rfind('\n', i - 1);
  const size_t s = nl == std::string_view::npos ? 0 : nl + 1;
  index = 0;
  for (size_t k = 0; k < s; ++k) index += a[k] == '\n';
  const size_t e = a.find('\n', s);
  return a.substr(s, e == std::string_view::npos ? a.size() - s : e - s);
}

static std::string outcome(const ref_run& r) {
  return "status " + std::to_string(r.status) + " \"" + show(r.err) + "\" at line " +
         std::to_string(r.stop) + ", " + std::to_string(r.labels) + " labels";
}

static void against_ref(const ref_run& got, std::string_view text) {
  const ref_run want = ref_translate(text);
  if (got.status != want.status || got.err != want.err || got.stop != want.stop ||
      got.labels != want.labels)
    fail(("translator: " + outcome(got) + "; reference: " + outcome(want) + "; input").c_str(),
         text);
  if (got.out != want.out) {
    size_t at = 0;
    const std::string_view g = parting_line(got.out, want.out, at);
    const std::string_view w = parting_line(want.out, got.out, at);
    fail(("output line " + std::to_string(at) + " differs; the reference has \"" + show(w) +
          "\", the translator").c_str(), g);
  }
}

// A CRLF copy is only the same text when no line already ends in "\r".
static bool crlf_able(std::string_view t) {
  return t.find("\r\n") == std::string_view::npos && !t.ends_with('\r');
}

static std::string crlf(std::string_view t) {
  std::string c;
  c.reserve(t.size() + t.size() / 8 + 1);
  for (char ch : t) {
    if (ch == '\n') c += '\r';
    c += ch;
  }
  if (!t.empty() && t.back() != '\n') c += '\r';
  return c;
}

void check_input(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const ref_run a = core_run(text);
  // Globals left behind by one run must not change the next.
  if (!(core_run(text) == a)) fail("a second translation of the same input differs");
  if (crlf_able(text) && !(core_run(crlf(text)) == a))
    fail("the CRLF copy translates differently");
  against_ref(a, text);
  check_agrees(data, size);
}
