// Pieces of advice that the explanations of errors and the warnings both give: a condition
// turned round, and a statement word that the file defines as a macro.
#include "check/run.h"

#include "common/common.h"

std::string_view before_comment(std::string_view s) { return trimx(s.substr(0, comment_at(s))); }

std::string turned_round(std::string_view lhs, const op_rec& op, std::string_view rhs) {
  return std::string(before_comment(rhs)) + " " + std::string(op.mirror) + " " + std::string(lhs);
}

edit mirrored(const check_run& c, std::string_view lhs, const op_rec& op, std::string_view rhs) {
  const std::string_view bare = before_comment(rhs);
  const size_t from = c.col(lhs);
  const size_t to = c.col(bare) + bare.size();
  return here(c, from, to - from, turned_round(lhs, op, rhs));
}

bool calls(const nasm_def& d, std::string_view w) {
  return d.icase ? same_icase(d.name, w) : d.name == w;
}

void tell_macro(check_run& c, int what, const line_scan& s, const nasm_def& d) {
  const std::string_view w = word_of(s);
  std::string t = quoted(w) + " is a macro here (line " + num(d.line + 1) +
                  (d.file.empty() ? "" : " of " + quoted(d.file)) + "), but nestasm reads it as " + quoted(lowerme(std::string(w)));
  if (what < 0) c.error(-what, c.col(s.body), s.word, std::move(t));
  else if (!c.warn(static_cast<wname>(what), c.col(s.body), s.word, std::move(t))) return;
  c.say("rename the macro and its uses to a word that is none of if, elif, else, while and end");
}
