// Suggestions followed through NASM: a rewrite the core accepts may still leave a file NASM
// rejects at the very lines it changed, or make it fail sooner than before. Such a suggestion is
// withdrawn, and a note says what NASM would say instead.
#include <algorithm>
#include <climits>
#include <set>

#include "check/check.h"
#include "common/common.h"
#include "scan/scan.h"

namespace {

// The lines an edit set touches in the text as it is, and how many lines it adds overall.
struct reach {
  int64_t first = INT64_MAX, last = 0, delta = 0;
};

reach reach_of(const std::vector<edit>& fix) {
  reach r;
  for (const edit& e : fix) {
    const int64_t end = std::max(e.line, e.end_line);
    r.first = std::min(r.first, e.line);
    r.last = std::max(r.last, end);
    int64_t nl = 0;
    for (char ch : e.text) nl += ch == '\n';
    r.delta += nl - (e.end_line > e.line ? e.end_line - e.line : 0);
  }
  return r;
}

// The headline less the rewrite it ends with ("...; give it 2 markers"), once the rewrite is
// withdrawn.
void drop_advice(std::string& text) {
  const size_t semi = text.rfind("; ");
  if (semi == std::string::npos) return;
  static constexpr std::string_view verbs[] = {"write ", "give ", "remove ", "move ", "put ",
                                               "drop ", "use ", "define ", "add "};
  const std::string_view after = std::string_view(text).substr(semi + 2);
  for (std::string_view v : verbs)
    if (after.starts_with(v)) {
      text.resize(semi);
      return;
    }
}

}  // namespace

void nasm_fixes(std::vector<diag>& ds, std::string_view text, const nasm_verdict* before,
                const check_opts& o, const nasm_opts& n) {
  // What NASM said of the text as it is: its errors, and the first line it rejects.
  std::set<std::pair<int64_t, std::string>> was;
  int64_t first_was = INT64_MAX;
  if (before && before->ran)
    for (const nasm_said& s : before->said)
      if (s.lvl == level::error) {
        was.insert({s.line, s.text});
        first_was = std::min(first_was, s.line);
      }
  // Each suggestion costs a check and an assembly of the whole file: past these, the rest are
  // withdrawn, not offered unchecked.
  constexpr int most = 64;
  int tried = 0;
  for (size_t i = 0; i < ds.size(); ++i) {
    diag& d = ds[i];
    if (d.fix.empty() || d.lvl == level::note) continue;
    std::string why;
    if (++tried > most) {
      why = "it was not followed through NASM: the file has more than 64 suggestions";
    } else {
      const std::string changed = apply_fix(text, d.fix);
      check_opts c;
      c.off = o.off;
      c.fixes = false;
      c.lines = true;
      c.file = o.file;
      c.nasm_args = o.nasm_args;
      c.nasm_cwd = o.nasm_cwd;
      c.nasm_known = o.nasm_known;
      std::vector<diag> none;
      // The translator's state is the file's, which the diagnostics view: put aside while the
      // changed text goes through it.
      translation_state keep = set_aside();
      const check_result r = check_text(changed, c, none);
      put_back(std::move(keep));
      // The core's own check of the suggestion decided what a stop means.
      if (r.status != 0) continue;
      const nasm_verdict v = assemble(r.lines, o.file, n);
      if (v.missing) return;  // nothing more can be followed
      if (!v.ran) continue;
      const reach at = reach_of(d.fix);
      for (const nasm_said& s : v.said) {
        if (s.lvl != level::error) continue;
        // Back to the line it was: before the edits as it is; after them, moved by what they add.
        int64_t l = s.line;
        const bool own = l >= at.first && l <= at.last + at.delta;
        if (l > at.last + at.delta) l -= at.delta;
        const bool sooner = !own && before && before->ran && l < first_was && !was.count({l, s.text});
        if (own || sooner) {
          why = "NASM would reject line " + std::to_string(own ? s.line : l) + ": " + s.text;
          break;
        }
      }
      if (why.empty()) continue;
    }
    d.fix.clear();
    drop_advice(d.text);
    // After the notes that go with it.
    size_t at = i + 1;
    while (at < ds.size() && ds[at].lvl == level::note) ++at;
    diag note;
    note.lvl = level::note;
    note.line = d.line;
    note.col = d.col;
    note.end_col = d.end_col;
    note.src = d.src;
    note.echo = false;
    note.text = "the suggestion would not do: " + why;
    ds.insert(ds.begin() + static_cast<std::ptrdiff_t>(at), std::move(note));
  }
}
