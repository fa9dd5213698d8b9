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
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// 0x80 in every byte of `w` that is one of the bytes of `set`, 0 in every other byte. One test
// of each byte of the set, written out rather than looped over.
template <size_t N>
inline uint64_t bytes_among(uint64_t w, const std::array<char, N>& set) {
  return [&]<size_t... I>(std::index_sequence<I...>) {
    return (uint64_t{0} | ... | bytes_eq(w, set[I]));
  }(std::make_index_sequence<N>{});
}

// The `n` bytes at `p` (8 when `n` is 8 or more) as one word as memory holds it, the first byte
// lowest on a little-endian machine, and 0 in the bytes past `n`; nothing past `n` is read. Two
// loads that overlap, or three bytes, in place of a copy of variable length, which called memcpy.
inline uint64_t load_upto8(const char* p, size_t n) {
  uint64_t w = 0;
  if (n >= 8) {
    std::memcpy(&w, p, 8);
  } else if (n >= 4) {
    uint32_t lo, hi;
    std::memcpy(&lo, p, 4);
    std::memcpy(&hi, p + n - 4, 4);
    w = lo | uint64_t{hi} << (8 * (n - 4));
  } else if (n > 0) {
    const auto b = [&](size_t i) { return uint64_t{static_cast<unsigned char>(p[i])} << (8 * i); };
    w = b(0) | b(n / 2) | b(n - 1);
  }
  return w;
}

// Whether `s` holds a byte of 0x80 or more: a line outside ASCII. Eight bytes a test, as the
// checker asks it of every line; a byte loop cost nestasm-check 154 million instructions on the
// 10 MiB mix (callgrind), this 71 million.
inline bool any_high(std::string_view s) {
  const char* p = s.data();
  size_t n = s.size();
  for (; n >= 8; p += 8, n -= 8)
    if (load_upto8(p, 8) & 0x8080808080808080u) return true;
  return (load_upto8(p, n) & 0x8080808080808080u) != 0;
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

// One bit a byte for the 32 bytes at `p`, bit i for p[i]: where they are "\n", "&", a space, and
// any byte that isspace() accepts (space, \t, \n, \v, \f, \r).
struct bits32 {
  uint32_t nl = 0, amp = 0, space = 0, white = 0;
};

// The plain loop that classes32 stands in for.
inline bits32 classes32_plain(const char* p) {
  bits32 b;
  for (int i = 0; i < 32; ++i) {
    const auto c = static_cast<unsigned char>(p[i]);
    const uint32_t bit = uint32_t{1} << i;
    if (c == '\n') b.nl |= bit;
    if (c == '&') b.amp |= bit;
    if (c == ' ') b.space |= bit;
    if (c == ' ' || (c >= '\t' && c <= '\r')) b.white |= bit;
  }
  return b;
}

inline bits32 classes32(const char* p) {
#if defined(__SSE2__)
  // Sixteen bytes a compare: the four classes of 32 bytes take some thirty instructions, where
  // a loop over the bytes takes that many for each byte.
  const auto half = [](const char* q) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    const __m128i sp = _mm_cmpeq_epi8(v, _mm_set1_epi8(' '));
    // \t to \r: adding 119 takes them, and them alone, to -128 to -124 (signed).
    const __m128i ctl = _mm_cmplt_epi8(_mm_add_epi8(v, _mm_set1_epi8(119)), _mm_set1_epi8(-123));
    bits32 b;
    b.nl = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))));
    b.amp = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('&'))));
    b.space = static_cast<uint32_t>(_mm_movemask_epi8(sp));
    b.white = static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(sp, ctl)));
    return b;
  };
  const bits32 lo = half(p), hi = half(p + 16);
  return {lo.nl | hi.nl << 16, lo.amp | hi.amp << 16, lo.space | hi.space << 16,
          lo.white | hi.white << 16};
#else
  return classes32_plain(p);
#endif
}

// classes32(p).nl alone.
inline uint32_t nl32(const char* p) {
#if defined(__SSE2__)
  const auto half = [](const char* q) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))));
  };
  return half(p) | half(p + 16) << 16;
#else
  return classes32_plain(p).nl;
#endif
}

// The number of bits set in `x`. A build for any x86-64 cannot assume the instruction for it,
// and the library's call in its place took 21 instructions where this takes 12.
inline uint32_t ones32(uint32_t x) {
  x -= (x >> 1) & 0x55555555;
  x = (x & 0x33333333) + ((x >> 2) & 0x33333333);
  x = (x + (x >> 4)) & 0x0f0f0f0f;
  return (x * 0x01010101) >> 24;
}

// A line that starts at `p` and ends at its first "\n", taken apart in one pass: offsets from
// `p`. When the "\n" is not among the 32 bytes at `p`, `end` is 32 and the rest means nothing.
// All 32 bytes at `p` must be readable.
struct line32 {
  uint32_t end = 0;     // where the line ends: its "\n"
  uint32_t prefix = 0;  // the end of the marker prefix, "&" and spaces in any mix
  uint32_t depth = 0;   // the "&" in it
  uint32_t body = 0;    // the first byte after the prefix that is not white space; `end` if none
  uint32_t tail = 0;    // just past the body's last byte that is not white space, when it has one
};

// Instead of a search for the line end, a loop over the markers and two trims, each of which
// ends at a different place on every line: a plain line took 146 instructions in place of 231,
// and the 10 MiB mix had a third fewer mispredicted branches (2.2 to 1.4 million, simulated).
inline line32 look32(const char* p) {
  const bits32 b = classes32(p);
  // In 64 bits, bit 32 standing for "not within the window": every search below then finds a
  // bit, and no shift is by 32.
  const uint64_t stop = b.nl | uint64_t{1} << 32;
  const auto first = [](uint64_t x) { return static_cast<uint32_t>(__builtin_ctzll(x)); };
  const auto below = [](uint64_t x) { return (x - 1) & ~x; };  // the bits below the lowest set
  line32 r;
  r.end = first(stop);
  const uint64_t marks = ~uint64_t{b.amp | b.space} | stop;
  r.prefix = first(marks);
  const uint64_t pre = below(marks);
  r.depth = ones32(static_cast<uint32_t>(b.amp & pre));
  const uint64_t ink = ~uint64_t{b.white} & below(stop);  // bytes of the line not white space
  r.body = first((ink & ~pre) | stop);
  // Just past the highest bit of `ink`: within the body when the body is not empty.
  const uint32_t last = static_cast<uint32_t>(63 - __builtin_clzll(ink << 1 | 1));
  r.tail = last;
  return r;
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

// The number of decimal digits of `v`, from its bit length (1233/4096 is just above log10(2))
// and one comparison: a division per digit to count them cost as much as writing them.
inline size_t dec_len(uint64_t v) {
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
  return t + (v >= tens[t] || v == 0 ? 1 : 0);
}

// Write `v` in decimal at `p`, shortest form, and return the end. Two digits at a time from a
// table of the hundred pairs: labels are written as numbers into every jump and label line, and
// a byte at a time with a division each cost a fifth of making those lines.
inline char* put_num(char* p, uint64_t v) {
  static constexpr char pairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  char* end = p + dec_len(v);
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

// The eight decimal digits of `v` (below 10^8), leading zeros included, as ASCII in one word,
// the first digit lowest. Each step splits every lane of the word in two at once: the lanes'
// quotients by 100 and by 10 come from multiplying by 10486/2^20 and 103/2^10, exact for lanes
// below 10^4 and 10^2.
inline uint64_t digits8(uint64_t v) {
  const uint64_t fours = v / 10000 | (v % 10000) << 32;
  const uint64_t hundreds = ((fours * 10486) >> 20) & 0x0000007f0000007f;
  const uint64_t twos = hundreds | (fours - hundreds * 100) << 16;
  const uint64_t tens = ((twos * 103) >> 10) & 0x000f000f000f000f;
  return (tens | (twos - tens * 10) << 8) + 0x3030303030303030;
}

// put_num for `v` below 10^8 where all 8 bytes at `p` may be written: the digits are made in one
// word and stored at once, and the bytes past them are left for what comes next to write over.
// Label numbers are written into every jump and label line, and the end of the loop over pairs
// of digits was mispredicted 110,000 times on 100,000 nested blocks. Little-endian machines only.
inline char* put_num8(char* p, uint64_t v) {
  const uint64_t w = digits8(v);
  // The leading zeros are the lowest bytes; the last digit always stays. Counted in the word
  // that holds the digits, which took dec_len's table and compare (12 instructions) off it.
  const int zeros = std::countr_zero((w - 0x3030303030303030) | uint64_t{1} << 56) / 8;
  const uint64_t digits = w >> (8 * zeros);
  std::memcpy(p, &digits, 8);
  return p + 8 - zeros;
}
