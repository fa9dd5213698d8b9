// The formatter: one layout of depth markers that translates exactly as the text did, and the
// markers an editor gives a new line or a group of lines moved one level deeper or shallower.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// How a text writes its markers: "& & " (a space after each, the layout the docs and examples
// use and tidy writes), or "&&" with or without a space before the body.
struct mark_style {
  bool spaced = true;       // a space after each marker but the last
  bool space_after = true;  // a space between the last marker and the body
};

// The style of the first line of `text` that shows one: its first line with two markers for
// `spaced`, with one for `space_after`; "& & " where no line shows it.
mark_style style_of(std::string_view text);

// The markers of `depth` in `style`, ready for a body to follow: "& & " for 2, "" for 0.
std::string markers(int64_t depth, mark_style style = {});

// `line` (without its line end) in the one layout: a blank or comment line as it stands; any
// other line as "& " for each marker, then its body as the scanner trims it. A body that begins
// with "&" (its markers ended at a tab, which the scanner does not skip) follows its markers
// after a tab, so that the "&" stays part of the body and the line's depth stays. Appended to
// `out`.
void tidy_line(std::string& out, std::string_view line);

// The whole text in that layout, each line keeping its own line end ("\n", "\r\n", or none
// after the last line) and every depth: it translates to the same bytes and status.
std::string tidy(std::string_view text);

// The index of the first line that tidy changes, or -1 when `text` is tidy already.
int64_t first_untidy(std::string_view text);

// A line's new text, its line end not included: what replaces line `line` (from 0).
struct line_edit {
  int64_t line = 0;
  std::string text;
  bool operator==(const line_edit&) const = default;
};

// tidy for the lines `first` to `last` (both included, from 0) alone: an edit for each line
// there that changes.
std::vector<line_edit> tidy_range(std::string_view text, int64_t first, int64_t last);

// Lines `first` to `last` one marker deeper (`by` 1) or shallower (-1), in the text's own
// marker style: an edit for each line that changes. Blank lines keep their markers, a line
// without markers cannot go shallower, and the body stays as it stands.
std::vector<line_edit> shift(std::string_view text, int64_t first, int64_t last, int by);

// What pressing Enter at the end of line `n` (from 0) does to the depths. The line being left
// keeps its depth unless it is an end, elif or else: it then takes the depth of the block it
// belongs to. The new line below gets one marker more than that after an if, elif, else or
// while, and the same depth otherwise.
struct enter_depths {
  int64_t line = 0;      // the depth line n is to have
  int64_t new_line = 0;  // the depth of the line typed after it
};
enter_depths on_enter(std::string_view text, int64_t n);

// Line `line` with its marker prefix replaced by the markers of `depth` in `style`; the rest of
// the line stays as it stands.
std::string with_depth(std::string_view line, int64_t depth, mark_style style = {});
