// The warnings of nestasm-check: lines nestasm accepts that almost certainly do not mean what
// they say. Each has one record, beside its check in the file of what it looks at; here they
// are put in the order their checks run, and that order is proved whole at compile time.
#include <array>
#include <utility>

#include "check/run.h"
#include "check/warn_blocks.h"
#include "check/warn_chars.h"
#include "check/warn_cond.h"
#include "check/warn_labels.h"
#include "check/warn_lines.h"
#include "check/warn_pre.h"

// Every record, in the order of NESTASM_WARNINGS (check.h): the order the checks run in.
static constexpr std::array<warning_rec, wcount> table = {{
#define NESTASM_RECORD(name) name##_w,
    NESTASM_WARNINGS(NESTASM_RECORD)
#undef NESTASM_RECORD
}};

// Every wname has exactly one record: a missing one leaves a slot of the table to the default
// record, whose wname is then there twice.
static constexpr bool one_each() {
  for (size_t w = 0; w < wcount; ++w) {
    size_t n = 0;
    for (const warning_rec& r : table) n += static_cast<size_t>(r.id) == w;
    if (n != 1) return false;
  }
  return true;
}
static_assert(one_each(), "every wname has exactly one record");

// Where each wname's record stands in the table: a name is looked up for every warning printed.
static constexpr auto place = [] {
  std::array<size_t, wcount> p{};
  for (size_t i = 0; i < table.size(); ++i) p[static_cast<size_t>(table[i].id)] = i;
  return p;
}();

// A record quiets only checks that run after it on the same lines: one that ran before has told
// its warning already, and one that looks at other lines never meets it.
static constexpr bool quiets_later() {
  for (size_t i = 0; i < table.size(); ++i)
    for (size_t w = 0; w < wcount; ++w) {
      if (!(table[i].quiets >> w & 1u)) continue;
      if (place[w] <= i || !(table[place[w]].on & table[i].on)) return false;
    }
  return true;
}
static_assert(quiets_later(), "a record quiets only checks that run after it, on its lines");

// The checks of each kind of line, in table order, made once from the table: each with the bit
// of its own wname and the set it quiets.
struct step {
  bool (*check)(check_run&, const line_scan&) = nullptr;
  wset self = 0, quiets = 0;
};
struct by_kind {
  step steps[wcount] = {};
  size_t n = 0;
};
static constexpr auto checks = [] {
  std::array<by_kind, 7> k{};
  for (const warning_rec& r : table)
    for (size_t i = 0; i < k.size(); ++i)
      if (r.on >> i & 1u) {
        by_kind& b = k[i];
        b.steps[b.n++] = {r.check, set_of(r.id), r.quiets};
      }
  return k;
}();

// The checks of one kind, written out one after the other at compile time: each call is direct
// and each test of `quiet` one of a constant bit. A loop over the steps ran 4% more
// instructions (callgrind) on 50,000 generated lines with a warning on every tenth.
template <size_t K, size_t... I>
static void run_kind(check_run& c, const line_scan& s, std::index_sequence<I...>) {
  wset quiet = 0;
  const auto one = [&](const step& t) {
    if (!(quiet & t.self) && t.check(c, s)) quiet |= t.quiets;
  };
  (one(checks[K].steps[I]), ...);
}

template <size_t... K>
static constexpr auto kinds(std::index_sequence<K...>) {
  return std::array<void (*)(check_run&, const line_scan&), sizeof...(K)>{
      [](check_run& c, const line_scan& s) {
        run_kind<K>(c, s, std::make_index_sequence<checks[K].n>{});
      }...};
}
static constexpr auto by_on = kinds(std::make_index_sequence<checks.size()>{});

void run_checks(check_run& c, looks_at on, const line_scan& s) {
  by_on[static_cast<size_t>(on)](c, s);
}

[[gnu::noinline]] void at_input_end(check_run& c) {
  // Text NASM skips that runs to the end of the input ends there.
  if (c.skip_from >= 0) {
    skipped_ends(c);
    c.skip_from = -1;
  }
  run_checks(c, looks_at::input_end, line_scan{});
}

std::span<const warning_rec> warning_table() { return table; }

const warning_rec& warning_of(wname w) { return table[place[static_cast<size_t>(w)]]; }

std::string_view name_of(wname w) { return warning_of(w).name; }

std::optional<wname> wname_from(std::string_view name) {
  for (const warning_rec& r : table)
    if (r.name == name) return r.id;
  return std::nullopt;
}
