// Byte-level helpers for the innermost loops. Each one does what a plain loop does, faster on
// the lines this tool sees; the figure beside each is what it paid for itself when it came in,
// and bytes_test compares each with the plain loop on every length and alignment.
// Performance-critical; please benchmark (bench/micro.cc, bench/run.sh) before changing them.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

// Copy `s` to `p` and return the end of the copy. Most pieces of a line are a few bytes long,
// and calling memcpy for each cost more than copying them: up to 32 bytes are copied as two
// overlapping blocks of a fixed size, which read and write nothing outside `s` and its copy.
// Used for every piece of every output line; it took the in-memory mix from 23.1 to 21.7 ms.
inline char* put(char* p, std::string_view s) {
  const char* q = s.data();
  const size_t n = s.size();
  const auto two = [&](auto block) {
    std::memcpy(&block, q, sizeof block);
    std::memcpy(p, &block, sizeof block);
    std::memcpy(&block, q + n - sizeof block, sizeof block);
    std::memcpy(p + n - sizeof block, &block, sizeof block);
  };
  if (n > 32) std::memcpy(p, q, n);
  else if (n >= 16) two(std::array<uint64_t, 2>{});
  else if (n >= 8) two(uint64_t{});
  else if (n >= 4) two(uint32_t{});
  else if (n > 0) {
    p[0] = q[0];
    p[n / 2] = q[n / 2];
    p[n - 1] = q[n - 1];
  }
  return p + n;
}

// 0x80 in every byte of `w` that equals `c`, 0 in every other byte. Exact: adding 0x7f to the
// low seven bits of a byte sets its top bit unless they are all zero, and never carries out of
// the byte.
inline uint64_t bytes_eq(uint64_t w, char c) {
  constexpr uint64_t low7 = 0x7f7f7f7f7f7f7f7f;
  const uint64_t x = w ^ (uint64_t{0x0101010101010101} * static_cast<unsigned char>(c));
  return ~(((x & low7) + low7) | x) & ~low7;
}

// The length of the longest prefix of `s` made of "&" and spaces in any mix, and in `amps` the
// number of "&" in it. Eight bytes are tested at once: a byte loop ends at a different place on
// every line, and the mispredicted end of it cost a tenth of the run (in-memory mix, 26.4 to
// 23.9 ms).
inline size_t marker_prefix(std::string_view s, int64_t& amps) {
  size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + 8 <= s.size(); i += 8) {
      uint64_t w;
      std::memcpy(&w, s.data() + i, 8);
      const uint64_t amp = bytes_eq(w, '&');
      const uint64_t rest = ~(amp | bytes_eq(w, ' ')) & 0x8080808080808080;
      // The bytes before the first that is neither; the first byte in memory is the lowest.
      const uint64_t in = rest ? (rest & -rest) - 1 : ~uint64_t{0};
      // Summing the bytes of (amp >> 7) counts the markers: a multiply adds them into the top.
      amps += static_cast<int64_t>((((amp & in) >> 7) * 0x0101010101010101) >> 56);
      if (rest) return i + static_cast<size_t>(std::countr_zero(rest) / 8);
    }
  }
  for (; i < s.size() && (s[i] == '&' || s[i] == ' '); ++i) amps += s[i] == '&';
  return i;
}

// Copy the line `s` to `p`, followed by "\n", where the text that `s` lies in runs on to
// `text_end` and `p` has room for 32 bytes. A line shorter than 32 bytes is copied as one
// block of 32 whenever the text goes on that far, and the bytes past its end are written over
// by what comes next: a copy whose length is that of the line takes a branch that goes another
// way on every other line (in-memory mix, 23.9 to 22.8 ms). Returns the end of the copy.
inline char* put_line(char* p, std::string_view s, const char* text_end) {
  constexpr size_t block = 32;
  if (s.size() < block && static_cast<size_t>(text_end - s.data()) >= block) {
    std::memcpy(p, s.data(), block);
    p[s.size()] = '\n';
    return p + s.size() + 1;
  }
  p = put(p, s);
  *p = '\n';
  return p + 1;
}

// Write `v` in decimal at `p`, shortest form, and return the end. Two digits at a time from a
// table of the hundred pairs: labels are written as numbers into every jump and label line, and
// a byte at a time with a division each cost a fifth of making those lines.
inline char* put_num(char* p, uint64_t v) {
  static constexpr char pairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  // The length from the bit length (1233/4096 is just above log10(2)) and one comparison: a
  // division per digit to count them cost as much as writing them.
  static constexpr uint64_t tens[] = {1,
                                      10,
                                      100,
                                      1000,
                                      10000,
                                      100000,
                                      1000000,
                                      10000000,
                                      100000000,
                                      1000000000,
                                      10000000000,
                                      100000000000,
                                      1000000000000,
                                      10000000000000,
                                      100000000000000,
                                      1000000000000000,
                                      10000000000000000,
                                      100000000000000000,
                                      1000000000000000000,
                                      10000000000000000000u};
  const size_t t = static_cast<size_t>(std::bit_width(v | 1) * 1233) >> 12;
  const size_t n = t + (v >= tens[t] || v == 0 ? 1 : 0);
  char* end = p + n;
  char* q = end;
  while (v >= 100) {
    const size_t k = static_cast<size_t>(v % 100) * 2;
    v /= 100;
    *--q = pairs[k + 1];
    *--q = pairs[k];
  }
  if (v >= 10) {
    *--q = pairs[v * 2 + 1];
    *--q = pairs[v * 2];
  } else {
    *--q = static_cast<char>('0' + v);
  }
  return end;
}
