// The byte-level helpers against the plain loops they stand in for, on every length and
// alignment around their block sizes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/bytes.h"

TEST(Bytes, PutCopiesExactlyItsBytesAtEveryLengthAndAlignment) {
  std::vector<char> src(128), dst(128);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<char>('a' + i % 26);
  for (size_t n = 0; n <= 80; ++n)
    for (size_t from = 0; from < 16; ++from)
      for (size_t to = 0; to < 16; ++to) {
        std::fill(dst.begin(), dst.end(), '#');
        char* end = put(dst.data() + to, std::string_view(src.data() + from, n));
        ASSERT_EQ(end, dst.data() + to + n);
        for (size_t i = 0; i < dst.size(); ++i) {
          const bool inside = i >= to && i < to + n;
          ASSERT_EQ(dst[i], inside ? src[from + i - to] : '#') << n << " " << from << " " << to;
        }
      }
}

TEST(Bytes, BytesEqMarksExactlyTheEqualBytes) {
  std::mt19937_64 rng(7);
  const char probes[] = {'&', ' ', '\0', '\x80', '\xff', '\x7f'};
  for (int round = 0; round < 20000; ++round) {
    uint64_t w = rng();
    // Plant the probe byte, and its neighbours in value, in some lanes.
    const char c = probes[round % 6];
    for (int lane = 0; lane < 8; ++lane)
      if (rng() % 3 == 0) {
        const uint64_t b = static_cast<unsigned char>(c + static_cast<char>(rng() % 3) - 1);
        w = (w & ~(uint64_t{0xff} << (8 * lane))) | (b << (8 * lane));
      }
    uint64_t want = 0;
    for (int lane = 0; lane < 8; ++lane)
      if (static_cast<char>(w >> (8 * lane)) == c) want |= uint64_t{0x80} << (8 * lane);
    ASSERT_EQ(bytes_eq(w, c), want) << std::hex << w << " " << int(c);
  }
}

// The plain loop that marker_prefix stands in for.
static size_t plain_prefix(std::string_view s, int64_t& amps) {
  size_t i = 0;
  for (; i < s.size() && (s[i] == '&' || s[i] == ' '); ++i) amps += s[i] == '&';
  return i;
}

TEST(Bytes, MarkerPrefixAgreesWithTheByteLoop) {
  std::mt19937 rng(11);
  const char alphabet[] = {'&', '&', ' ', '&', '\t', 'x', '\0', '\xa6'};
  std::string buf(64, ' ');
  for (int round = 0; round < 50000; ++round) {
    const size_t off = rng() % 8;
    const size_t n = rng() % 40;
    // Mostly markers, so prefixes of every length occur, ending at every byte of a block.
    for (size_t i = 0; i < n; ++i) buf[off + i] = alphabet[rng() % (i < n / 2 ? 4 : 8)];
    const std::string_view s(buf.data() + off, n);
    int64_t a = 0, b = 0;
    ASSERT_EQ(marker_prefix(s, a), plain_prefix(s, b)) << round;
    ASSERT_EQ(a, b) << round;
  }
}

TEST(Bytes, PutLineWritesTheLineAndItsEndAtEveryDistanceFromTheTextEnd) {
  std::string text(100, 'q');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('A' + i % 50);
  std::vector<char> dst(200);
  for (size_t n = 0; n <= 64; ++n)
    for (size_t left = 0; left <= 40; ++left) {
      // The line lies `left` bytes before the end of the text that it is part of.
      const size_t at = text.size() - n - left;
      // A heap copy ending exactly at the text's end, so a read past it is caught by ASan.
      std::vector<char> owned(text.begin(), text.end());
      const std::string_view line(owned.data() + at, n);
      char* end = put_line(dst.data(), line, owned.data() + owned.size());
      ASSERT_EQ(end, dst.data() + n + 1);
      ASSERT_EQ(std::string(dst.data(), n + 1), std::string(line) + "\n") << n << " " << left;
    }
}

TEST(Bytes, NextDecimalCountsAsToStringAcrossEveryCarry) {
  for (uint64_t start : {uint64_t{0}, uint64_t{8}, uint64_t{97}, uint64_t{9995}, uint64_t{999999990},
                         uint64_t{9223372036854775800u}}) {
    char buf[24];
    char* const end = buf + sizeof buf;
    std::string s = std::to_string(start);
    size_t n = s.size();
    std::memcpy(end - n, s.data(), n);
    for (uint64_t v = start + 1; v < start + 30; ++v) {
      next_decimal(end, n);
      ASSERT_EQ(std::string(end - n, n), std::to_string(v));
    }
  }
}
