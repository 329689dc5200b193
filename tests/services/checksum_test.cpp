#include "Checksum.h"
#include "ChecksumPair.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

struct Pair {
  uint32_t s = 0;
  uint32_t c = 0;
  bool operator==(const Pair &o) const { return s == o.s && c == o.c; }
};
std::ostream &operator<<(std::ostream &os, const Pair &p) {
  return os << std::hex << "{S=0x" << p.s << ", C=0x" << p.c << "}" << std::dec;
}

// One member of the family, applied to a buffer and a start pair.
struct Member {
  const char *name;
  bool keepsCarry; // merges as one 64-bit addition
  std::function<void(const Bytes &, Pair &)> run;
};

std::string Text(const Bytes &b) {
  return std::string(b.begin(), b.end());
}

const std::vector<Member> &Members() {
  static const std::vector<Member> m = {
      {"ASumKs&", false, [](const Bytes &b, Pair &p) { ASumKs(b.size(), b.data(), p.s, p.c); }},
      {"ASumKs*", false, [](const Bytes &b, Pair &p) { ASumKs(b.size(), b.data(), &p.s, &p.c); }},
      {"SumKsC*", false, [](const Bytes &b, Pair &p) { SumKsC(b.size(), b.data(), &p.s, &p.c); }},
      {"SumKsC&", false, [](const Bytes &b, Pair &p) { SumKsC(b.size(), b.data(), p.s, p.c); }},
      {"SumKsCText", false, [](const Bytes &b, Pair &p) { SumKsC(Text(b), p.s, p.c); }},
      {"NASumKs&", true, [](const Bytes &b, Pair &p) { NASumKs(b.size(), b.data(), p.s, p.c); }},
      {"NASumKs*", true, [](const Bytes &b, Pair &p) { NASumKs(b.size(), b.data(), &p.s, &p.c); }},
      {"ASumKsText", true, [](const Bytes &b, Pair &p) { ASumKs(Text(b), p.s, p.c); }},
      {"CalcKSC", true, [](const Bytes &b, Pair &p) { CalcKSC(b.data(), b.size(), &p.s, &p.c); }},
      {"S_KSum::Calc", true,
       [](const Bytes &b, Pair &p) {
         S_KSum k;
         k.Sum = p.s;
         k.Carry = p.c;
         k.Calc(b.data(), b.size(), false);
         p = {k.Sum, k.Carry};
       }},
      {"S_KSum::CalcText", true,
       [](const Bytes &b, Pair &p) {
         S_KSum k;
         k.Sum = p.s;
         k.Carry = p.c;
         k.Calc(Text(b), false);
         p = {k.Sum, k.Carry};
       }},
  };
  return m;
}

struct Example {
  const char *name;
  Bytes bytes;
  Pair start;
  Pair lossy; // result of the members that drop the final carry
  Pair full;  // result of the 64-bit members
};

TEST(Checksums, WorkedExamplesForEveryMember) {
  const Example examples[] = {
      {"abc", {0x61, 0x62, 0x63}, {0, 0}, {0x62C4, 0}, {0x62C4, 0}},
      {"wrap inside", {0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0, 0, 0}, {0, 0}, {0, 1}, {0, 1}},
      {"wrap on merge", {0x01, 0, 0, 0}, {0xFFFFFFFF, 0}, {0, 0}, {0, 1}},
      {"empty", {}, {5, 7}, {5, 7}, {5, 7}},
      {"carry count wraps", {0x01, 0, 0, 0}, {0xFFFFFFFF, 0xFFFFFFFF}, {0, 0xFFFFFFFF}, {0, 0}},
  };
  for (const Example &e : examples)
    for (const Member &m : Members()) {
      Pair p = e.start;
      m.run(e.bytes, p);
      EXPECT_EQ(p, m.keepsCarry ? e.full : e.lossy) << m.name << " / " << e.name;
    }
}

TEST(Checksums, PiecesOfOneToSevenBytes) {
  const Bytes data = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
  // Worked out by hand: a 32-bit word, then a 16-bit word, then a byte; a
  // 3-byte tail is 0x2211 + 0x33, never three separate bytes (0x66).
  const uint32_t expected[8] = {0,          0x11,       0x2211,     0x2244,
                                0x44332211, 0x44332266, 0x44338866, 0x443388DD};
  for (size_t n = 1; n <= 7; ++n) {
    const Bytes part(data.begin(), data.begin() + static_cast<long>(n));
    for (const Member &m : Members()) {
      Pair p;
      m.run(part, p);
      EXPECT_EQ(p, (Pair{expected[n], 0})) << m.name << " n=" << n;
    }
    EXPECT_EQ(ASumKsD(n, data.data()), static_cast<double>(expected[n])) << "n=" << n;
  }
}

TEST(Checksums, TailWordsAreUnsignedLittleEndian) {
  const Bytes b = {0x00, 0x00, 0x00, 0x00, 0xFE, 0xFF, 0x80};
  Pair p;
  ASumKs(b.size(), b.data(), p.s, p.c);
  EXPECT_EQ(p, (Pair{0xFFFE + 0x80, 0}));
}

Bytes Pseudorandom(size_t n, uint32_t seed) {
  Bytes b(n);
  for (auto &x : b) {
    seed = seed * 1103515245u + 12345u;
    x = static_cast<unsigned char>(seed >> 24);
  }
  return b;
}

// The exact total of the pieces, computed independently in 64 bits.
uint64_t PieceTotal(const Bytes &b) {
  uint64_t t = 0;
  size_t i = 0;
  for (; i + 4 <= b.size(); i += 4)
    t += uint64_t{b[i]} | uint64_t{b[i + 1]} << 8 | uint64_t{b[i + 2]} << 16 |
         uint64_t{b[i + 3]} << 24;
  if (i + 2 <= b.size()) {
    t += uint64_t{b[i]} | uint64_t{b[i + 1]} << 8;
    i += 2;
  }
  if (i < b.size())
    t += b[i];
  return t;
}

TEST(Checksums, OneCallOver1024AgainstTwoOf512) {
  // Each half totals 0x80000000 without a carry of its own: adding the second
  // half's local sum to S wraps, and ASumKs loses exactly that carry.
  Bytes wrap(1024, 0);
  wrap[3] = 0x80;
  wrap[512 + 3] = 0x80;
  Pair one, two;
  ASumKs(1024, wrap.data(), one.s, one.c);
  ASumKs(512, wrap.data(), two.s, two.c);
  ASumKs(512, wrap.data() + 512, two.s, two.c);
  EXPECT_EQ(one, (Pair{0, 1}));
  EXPECT_EQ(two, (Pair{0, 0})); // C one less
  Pair nOne, nTwo;
  NASumKs(1024, wrap.data(), nOne.s, nOne.c);
  NASumKs(512, wrap.data(), nTwo.s, nTwo.c);
  NASumKs(512, wrap.data() + 512, nTwo.s, nTwo.c);
  EXPECT_EQ(nOne, (Pair{0, 1}));
  EXPECT_EQ(nTwo, nOne);

  // Carries inside each call but none on the merge: both ways agree. Each
  // half is FFFFFFFF + 2, a local sum of 1 with one carry.
  Bytes inner(1024, 0);
  for (size_t half : {0u, 512u}) {
    std::memset(&inner[half], 0xFF, 4);
    inner[half + 4] = 2;
  }
  Pair a, b;
  ASumKs(1024, inner.data(), a.s, a.c);
  ASumKs(512, inner.data(), b.s, b.c);
  ASumKs(512, inner.data() + 512, b.s, b.c);
  EXPECT_EQ(a, (Pair{2, 2}));
  EXPECT_EQ(b, a);
}

TEST(Checksums, NASumKsIsTheExactTotalWhateverTheBlockSizes) {
  const Bytes data = Pseudorandom(4099, 7); // enough words to carry many times
  const uint64_t total = PieceTotal(data);
  ASSERT_GT(total >> 32, 100u);
  Pair whole;
  NASumKs(data.size(), data.data(), whole.s, whole.c);
  EXPECT_EQ(uint64_t{whole.c} << 32 | whole.s, total);
  for (size_t block : {4u, 8u, 12u, 512u, 1000u}) {
    Pair p;
    size_t at = 0;
    for (; at + block < data.size(); at += block)
      NASumKs(block, data.data() + at, p.s, p.c);
    NASumKs(data.size() - at, data.data() + at, p.s, p.c);
    EXPECT_EQ(p, whole) << "block " << block;
  }
  // The lossy member keeps the same S but counts fewer carries.
  Pair lossy;
  for (size_t at = 0; at < data.size(); at += 512)
    ASumKs(std::min<size_t>(512, data.size() - at), data.data() + at, lossy.s, lossy.c);
  EXPECT_EQ(lossy.s, whole.s);
  EXPECT_LT(lossy.c, whole.c);
}

TEST(Checksums, EveryLengthAndAlignmentGivesTheExactTotal) {
  // Words near 2^32 carry on almost every addition; lengths around the
  // widths the words are taken in (4, 16, 32 bytes) and unaligned starts.
  Bytes data = Pseudorandom(5000, 11);
  for (size_t i = 0; i < 2000; ++i)
    data[i] |= 0xF0;
  for (size_t start = 0; start < 4; ++start)
    for (size_t n :
         {0u, 1u, 3u, 15u, 16u, 17u, 31u, 32u, 33u, 63u, 65u, 511u, 512u, 513u, 4096u, 4995u}) {
      const Bytes part(data.begin() + static_cast<long>(start),
                       data.begin() + static_cast<long>(start + n));
      const uint64_t total = PieceTotal(part);
      Pair exact;
      NASumKs(part.size(), part.data(), exact.s, exact.c);
      EXPECT_EQ(uint64_t{exact.c} << 32 | exact.s, total) << "start " << start << " n " << n;
      Pair lossy{0xFFFFFFFF, 5};
      ASumKs(part.size(), part.data(), lossy.s, lossy.c);
      EXPECT_EQ(lossy, (Pair{static_cast<uint32_t>(0xFFFFFFFF + total),
                             static_cast<uint32_t>(5 + (total >> 32))}))
          << "start " << start << " n " << n;
    }
}

TEST(Checksums, BlocksAre512ByteCallsOfASumKs) {
  const Bytes data = Pseudorandom(512 * 7 + 100, 3);
  for (size_t n : {0u, 100u, 512u, 1024u, 512u * 7 + 100}) {
    Pair blocks{1, 2}, calls{1, 2};
    ASumKsBlocks(n, data.data(), blocks.s, blocks.c);
    for (size_t at = 0; at < n; at += 512)
      ASumKs(std::min<size_t>(512, n - at), data.data() + at, calls.s, calls.c);
    EXPECT_EQ(blocks, calls) << "n " << n;
  }
}

TEST(Checksums, S_KSumResetStartsAgain) {
  const Bytes b = {0x01, 0x02, 0x03, 0x04};
  S_KSum k;
  EXPECT_EQ(k.Sum, 0u);
  EXPECT_EQ(k.Carry, 0u);
  k.Calc(b.data(), b.size(), false);
  k.Calc(b.data(), b.size(), false);
  EXPECT_EQ(k.Sum, 2u * 0x04030201u);
  k.Calc(b.data(), b.size(), true);
  EXPECT_EQ(k.Sum, 0x04030201u);
  k.Calc(std::string("\x01\x02\x03\x04"), true);
  EXPECT_EQ(k.Sum, 0x04030201u);
  k.Calc(std::string(), true);
  EXPECT_EQ(k.Sum, 0u);
}

TEST(Checksums, ZeroLengthAndNullPointersChangeNothing) {
  const unsigned char b[4] = {1, 2, 3, 4};
  Pair p{9, 3};
  ASumKs(0, b, p.s, p.c);
  NASumKs(0, b, &p.s, &p.c);
  ASumKs(4, nullptr, p.s, p.c);
  NASumKs(4, b, nullptr, &p.c);
  ASumKs(4, b, &p.s, nullptr);
  CalcKSC(b, 0, &p.s, &p.c);
  SumKsC(0, b, p.s, p.c);
  EXPECT_EQ(p, (Pair{9, 3}));
  double acc = 2.5;
  ASumKsD(0, b, &acc);
  ASumKsD(4, nullptr, &acc);
  ASumKsD(4, b, nullptr);
  EXPECT_EQ(acc, 2.5);
}

TEST(Checksums, ASumKsDTakesWordsSigned) {
  const unsigned char minus1[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(ASumKsD(4, minus1), -1.0);
  const unsigned char ffff[2] = {0xFF, 0xFF};
  EXPECT_EQ(ASumKsD(2, ffff), 65535.0);
  double acc = 0.5;
  ASumKsD(2, ffff, &acc);
  EXPECT_EQ(acc, 65535.5);
  const unsigned char mixed[7] = {0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(ASumKsD(7, mixed), -2147483648.0 + 65535.0 + 255.0);
}

TEST(Checksums, ASumKsDRoundsOnceAtTheEnd) {
  // 2^53 + 1 + 1: a double accumulator would round each step back to 2^53;
  // the extended accumulation gives 2^53 + 2, which a double holds.
  const unsigned char ones[8] = {1, 0, 0, 0, 1, 0, 0, 0};
  double acc = 9007199254740992.0;
  ASumKsD(8, ones, &acc);
  EXPECT_EQ(acc, 9007199254740994.0);
}

TEST(Checksums, PlusKsAddsPairsAs64Bits) {
  struct Case {
    const char *name;
    bool aHigh, bHigh;
    Pair b;
  };
  const Pair a{0xFFFFFFFF, 1};
  const Case cases[] = {
      {"both highs", true, true, {0, 4}},   // (2, 1 + 2) + carry
      {"null a-high", false, true, {0, 2}}, // low only, carry dropped
      {"null b-high", true, false, {0, 2}},
  };
  for (const Case &c : cases)
    for (auto fn : {&PlusKs, &PlusKsC}) {
      Pair b{1, 2};
      fn(&a.s, c.aHigh ? &a.c : nullptr, &b.s, c.bHigh ? &b.c : nullptr);
      EXPECT_EQ(b, c.b) << c.name;
    }
  Pair b{1, 2};
  PlusKs(nullptr, &a.c, &b.s, &b.c);
  PlusKs(&a.s, &a.c, nullptr, &b.c);
  EXPECT_EQ(b, (Pair{1, 2}));
}

} // namespace
