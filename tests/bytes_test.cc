// The byte-level helpers against the plain loops they stand in for, on every length and
// alignment around their block sizes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/common.h"

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
  std::string text(128, 'q');  // room for the longest line at the largest distance
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

TEST(Bytes, PutNumWritesWhatToStringWrites) {
  std::vector<uint64_t> vs = {0, UINT64_MAX, uint64_t{INT64_MAX}};
  // Every power of ten and its neighbours, where the length and the pair split change.
  for (uint64_t t = 1; t <= uint64_t{10000000000000000000u}; t *= 10) {
    for (uint64_t d : {t - 1, t, t + 1, t * 2 - 1}) vs.push_back(d);
    if (t > UINT64_MAX / 10) break;
  }
  for (uint64_t v = 0; v < 100000; ++v) vs.push_back(v);
  std::mt19937_64 rng(3);
  for (int i = 0; i < 100000; ++i) vs.push_back(rng() >> (rng() % 64));
  char buf[32];
  for (uint64_t v : vs) {
    std::fill(std::begin(buf), std::end(buf), '#');
    char* end = put_num(buf + 4, v);
    const std::string want = std::to_string(v);
    ASSERT_EQ(std::string(buf + 4, end), want);
    ASSERT_EQ(buf[3], '#');
    ASSERT_EQ(*end, '#');
  }
}

TEST(Bytes, Classes32MarksEachClassAtEveryByte) {
  // Every byte value at every place, among neighbours that change too.
  std::mt19937 rng(5);
  std::vector<char> buf(48);
  for (int v = 0; v < 256; ++v)
    for (size_t at = 0; at < 32; ++at) {
      const size_t off = rng() % 16;
      for (char& c : buf) c = static_cast<char>(rng());
      buf[off + at] = static_cast<char>(v);
      const bits32 got = classes32(buf.data() + off), want = classes32_plain(buf.data() + off);
      ASSERT_EQ(got.nl, want.nl) << v << " " << at;
      ASSERT_EQ(got.amp, want.amp) << v << " " << at;
      ASSERT_EQ(got.space, want.space) << v << " " << at;
      ASSERT_EQ(got.white, want.white) << v << " " << at;
      ASSERT_EQ(nl32(buf.data() + off), want.nl) << v << " " << at;
    }
}

// The plain loops that look32 stands in for: the line end, the marker prefix, and the trim.
static line32 plain_look(const char* p) {
  line32 r;
  r.end = 32;
  for (size_t i = 0; i < 32; ++i)
    if (p[i] == '\n') {
      r.end = static_cast<uint32_t>(i);
      break;
    }
  if (r.end == 32) return r;
  int64_t amps = 0;
  const std::string_view line(p, r.end);
  r.prefix = static_cast<uint32_t>(plain_prefix(line, amps));
  r.depth = static_cast<uint32_t>(amps);
  const std::string_view rest = line.substr(r.prefix);
  const std::string_view body = trimx(rest);
  r.body = body.empty() ? r.end : static_cast<uint32_t>(body.data() - p);
  r.tail = r.body + static_cast<uint32_t>(body.size());
  return r;
}

TEST(Bytes, Look32AgreesWithThePlainLoops) {
  std::mt19937 rng(13);
  // Markers and white space of every kind, so prefixes, bodies and trims of every length occur.
  const char alphabet[] = {'&', ' ', '&', ' ', '\t', '\r', '\v', '\f', 'x', ';', '\0', '\xa6', '\n'};
  std::vector<char> buf(64);
  for (int round = 0; round < 200000; ++round) {
    const size_t off = rng() % 16;
    // Mostly lines with no "\n" for a while, some with none in the window at all.
    const size_t span = rng() % 3 == 0 ? 13 : 12;
    for (size_t i = 0; i < 48; ++i) buf[off + i] = alphabet[rng() % span];
    const line32 got = look32(buf.data() + off), want = plain_look(buf.data() + off);
    ASSERT_EQ(got.end, want.end) << round;
    if (want.end == 32) continue;
    ASSERT_EQ(got.prefix, want.prefix) << round;
    ASSERT_EQ(got.depth, want.depth) << round;
    ASSERT_EQ(got.body, want.body) << round;
    if (want.body < want.end) {
      ASSERT_EQ(got.tail, want.tail) << round;
    }
  }
}

TEST(Bytes, PutNum8WritesWhatPutNumWritesAndNothingPastEightBytes) {
  std::vector<uint64_t> vs;
  for (uint64_t t = 1; t < 100000000; t *= 10)
    for (uint64_t d : {t - 1, t, t + 1, t * 2 - 1, t * 9 + 9}) vs.push_back(d);
  for (uint64_t v = 0; v < 200000; ++v) vs.push_back(v);
  std::mt19937_64 rng(17);
  for (int i = 0; i < 200000; ++i) vs.push_back(rng() % 100000000);
  vs.push_back(99999999);
  for (uint64_t v : vs) {
    char want[32], got[32];
    std::fill(std::begin(got), std::end(got), '#');
    const std::string w(want, put_num(want, v));
    char* end = put_num8(got + 4, v);
    ASSERT_EQ(std::string(got + 4, end), w) << v;
    ASSERT_EQ(got[3], '#') << v;
    ASSERT_EQ(got[12], '#') << v;
  }
}

// bytes_among for a set of any size, against the byte loop.
template <size_t N>
static void among_agrees(const std::array<char, N>& set, std::mt19937_64& rng) {
  const std::string_view s(set.data(), N);
  for (int round = 0; round < 5000; ++round) {
    uint64_t w = rng();
    // Plant bytes of the set, and their neighbours in value, in some lanes.
    for (int lane = 0; lane < 8; ++lane)
      if (N > 0 && rng() % 2 == 0) {
        const auto b = static_cast<unsigned char>(s[rng() % N] + int(rng() % 3) - 1);
        w = (w & ~(uint64_t{0xff} << (8 * lane))) | (uint64_t{b} << (8 * lane));
      }
    uint64_t want = 0;
    for (int lane = 0; lane < 8; ++lane)
      if (s.find(static_cast<char>(w >> (8 * lane))) != std::string_view::npos)
        want |= uint64_t{0x80} << (8 * lane);
    ASSERT_EQ(bytes_among(w, set), want) << std::hex << w;
  }
}

TEST(Bytes, BytesAmongMarksExactlyTheBytesOfTheSet) {
  std::mt19937_64 rng(19);
  among_agrees(std::array<char, 0>{}, rng);
  among_agrees(std::array<char, 1>{'='}, rng);
  among_agrees(std::array<char, 5>{'=', '!', '<', '>', 'U'}, rng);
  among_agrees(std::array<char, 2>{'\0', '\xff'}, rng);
}

TEST(Bytes, LoadUpto8ReadsTheBytesBeforeTheEndAndZeroesTheRest) {
  // Each length at the very end of a heap block, so ASan catches a read past it.
  for (size_t n = 0; n <= 12; ++n) {
    std::vector<char> owned(n);
    for (size_t i = 0; i < n; ++i) owned[i] = static_cast<char>(0xa0 + i);
    uint64_t want = 0;
    for (size_t i = 0; i < n && i < 8; ++i)
      want |= uint64_t{static_cast<unsigned char>(owned[i])} << (8 * i);
    if constexpr (std::endian::native == std::endian::little) {
      ASSERT_EQ(load_upto8(owned.data(), n), want) << n;
    }
  }
}

// Eight bytes a test against the byte loop, with the high byte at every place of every length,
// at the end of a heap block so that ASan catches a read past it.
TEST(Bytes, AnyHighAgreesWithTheByteLoop) {
  for (size_t n = 0; n <= 19; ++n)
    for (size_t at = 0; at <= n; ++at) {
      std::vector<char> owned(n, 'a');
      if (at < n) owned[at] = static_cast<char>(0x80 + at);
      const std::string_view s(owned.data(), n);
      bool plain = false;
      for (const char c : s) plain = plain || static_cast<unsigned char>(c) >= 0x80;
      ASSERT_EQ(any_high(s), plain) << n << " " << at;
      ASSERT_EQ(plain, at < n);
    }
}
