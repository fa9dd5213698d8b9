// nestasm-check must agree with nestasm on every input: an error exactly when the translation
// fails, with its status and at the line where it stops, and a translation left as it would be
// without the checker watching. A broken property aborts, as the oracle's checks do.
#include "agree.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "check/check.h"
#include "codegen/codegen.h"
#include "common/common.h"
#include "out/out.h"
#include "scan/scan.h"

[[noreturn]] static void disagree(const char* why, std::string_view detail = {}) {
  std::string m = "agree: ";
  m += why;
  if (!detail.empty()) {
    m += ": ";
    m += detail.substr(0, 200);
  }
  m += '\n';
  if (write(2, m.data(), m.size()) < 0) {
  }
  std::abort();
}

namespace {
struct plain_run {
  int st = 0;
  int64_t at = 0;
  int64_t made = 0;
  std::string out;
};
}  // namespace

static plain_run translate_plain(std::string_view text) {
  restart();
  file_lines = text;
  plain_run r;
  r.st = translate_all();
  r.at = lnum;
  r.made = lbl_n;
  r.out = out_thing.view();
  return r;
}

static int64_t count_lines(std::string_view t) {
  int64_t n = 0;
  for (size_t pos = 0; pos < t.size(); ++n) {
    const size_t nl = t.find('\n', pos);
    pos = nl == std::string_view::npos ? t.size() : nl + 1;
  }
  return n;
}

void check_agrees(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const int saved = err_fd;
  err_fd = -1;
  const plain_run want = translate_plain(text);
  const int64_t nlines = count_lines(text);

  check_opts opts;
  opts.keep = true;
  opts.blocks = true;
  std::vector<diag> ds;
  const check_result got = check_text(text, opts, ds);
  err_fd = saved;

  if (got.status != want.st) disagree("the checker's status differs from the translation's");
  if (want.st != 0 && got.stop != want.at) disagree("the checker stops at another line");
  if (want.st == 0 && got.stop != -1) disagree("the checker stops where the translation does not");
  // Watching the translation must not change it.
  if (std::string_view(out_thing.view()) != want.out) disagree("the translation changed under the checker");
  if (lbl_n != want.made) disagree("the label count changed under the checker");

  // The blocks the events gave: each opened before its branches, closed after them, inside its
  // parent, and closed at the end of the input exactly when nothing closed it before.
  for (size_t i = 0; i < got.blocks.size(); ++i) {
    const block_info& b = got.blocks[i];
    int64_t at = b.open;
    for (int64_t br : b.branches) {
      if (br <= at) disagree("a branch before its block or the branch before it");
      at = br;
    }
    if (b.has_else && b.branches.empty()) disagree("an else that is no branch");
    if (b.close < 0 && want.st == 0) disagree("a block never closed in a whole translation");
    if (b.close >= 0 && b.close < at) disagree("a block closed before its last branch");
    if ((b.how == closed_by::input_end) != (b.close == nlines)) disagree("closed at the end wrongly");
    if (b.parent >= static_cast<int64_t>(i)) disagree("a parent opened after its child");
    if (b.parent >= 0) {
      const block_info& p = got.blocks[static_cast<size_t>(b.parent)];
      if (p.depth > b.depth || p.open >= b.open) disagree("a block outside its parent");
      if (p.close >= 0 && (b.close < 0 || b.close > p.close)) disagree("a parent closed first");
    }
  }
  // Where each line's output starts: never going back, ending where the translation does.
  for (size_t i = 1; i < got.made.size(); ++i)
    if (got.made[i] < got.made[i - 1]) disagree("a line's output starts before the last one's");
  if (want.st == 0 && (got.made.size() != static_cast<size_t>(nlines) + 2 ||
                       got.made.back() != want.out.size()))
    disagree("the output's places do not cover the translation");

  size_t errors = 0;
  size_t warnings = 0;
  bool after_main = false;  // a note follows its error or warning
  for (const diag& d : ds) {
    if (d.line < 1 || d.line > nlines) disagree("a diagnostic outside the input", d.text);
    if (d.col < 1 || d.end_col <= d.col) disagree("a diagnostic without columns", d.text);
    if (d.text.empty()) disagree("a diagnostic without text");
    switch (d.lvl) {
      case level::error:
        ++errors;
        if (d.status != want.st) disagree("an error with another status", d.text);
        if (d.line != want.at + 1) disagree("an error at another line", d.text);
        if (d.text.substr(0, message(d.status).size() - 1) !=
            message(d.status).substr(0, message(d.status).size() - 1))
          disagree("an error without nestasm's message", d.text);
        after_main = true;
        break;
      case level::warning:
        ++warnings;
        if (d.name < 0 || d.name >= static_cast<int>(warning_table().size())) disagree("a warning without a name", d.text);
        if (errors) disagree("a warning after the error", d.text);
        after_main = true;
        break;
      case level::note:
        if (!after_main) disagree("a note before any error or warning", d.text);
        break;
    }
  }
  if (errors != (want.st != 0 ? 1u : 0u)) disagree("not exactly one error for a failed translation");
  if (warnings != got.warnings) disagree("the warning count differs from the warnings given");

  // With every warning silenced, none is given, and the verdict stays.
  check_opts quiet;
  quiet.off = ~0u;
  std::vector<diag> qs;
  err_fd = -1;
  const check_result q = check_text(text, quiet, qs);
  if (q.status != want.st || q.warnings != 0) disagree("silenced warnings change the verdict");
  for (const diag& d : qs)
    if (d.lvl == level::warning) disagree("a silenced warning was given", d.text);

  // --lines: the same translation, each group of lines led by a %line naming an input line.
  if (want.st == 0) {
    check_opts lo;
    lo.lines = true;
    lo.file = "\x01agree";
    std::vector<diag> ls;
    const check_result l = check_text(text, lo, ls);
    std::string bare;
    for (size_t pos = 0; pos < l.lines.size();) {
      const size_t nl = l.lines.find('\n', pos);
      const std::string_view ln(l.lines.data() + pos, nl - pos);
      pos = nl + 1;
      if (ln.starts_with("%line ") && ln.ends_with("+0 \x01agree")) {
        const int64_t n = std::atoll(std::string(ln.substr(6)).c_str());
        if (n < 1 || n > nlines) disagree("a %line naming no input line", ln);
        continue;
      }
      bare += ln;
      bare += '\n';
    }
    if (bare != want.out) disagree("--lines gives another translation");
  }
  err_fd = saved;
}
