// Deterministic large inputs for measuring the translator: a realistic mix, a deep stack, one long line.
#pragma once

#include <cstddef>
#include <string>

// Structured assembly of about `size` bytes: plain instructions, comments, blank lines and
// if/elif/else/while/end nested up to depth 6, always well formed (it translates with status 0).
// The same size always gives the same text.
std::string gen_mix(size_t size);

// `n` lines "if eax == 1" at depth 0, then `n` lines "end".
std::string gen_stack(size_t n);

// `lines` lines (rounded up to tens) of small blocks with one line in ten that nestasm-check
// warns of and offers a rewrite for: a number on the left, `=>`, C's parentheses and brace, an
// `==` in a comment, a capital name on the left, text after `else`, in turn. It translates with
// status 0.
std::string gen_warns(size_t lines);

// One plain line of `size` bytes ("db 0x41, 0x41, ..."), then a line feed.
std::string gen_line(size_t size);
