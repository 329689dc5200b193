#include "Checksum.h"

#include <algorithm>
#include <bit>
#include <cfenv>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

uint32_t Word32(const unsigned char *p) {
  uint32_t w;
  std::memcpy(&w, p, sizeof w);
  if constexpr (std::endian::native == std::endian::big)
    w = __builtin_bswap32(w);
  return w;
}

// The exact total of one call's pieces: the 32-bit sum and its wraps. Each
// piece is below 2^32, so the count of wraps is the high half of the pieces'
// 64-bit sum, and the pieces can be added in 64-bit lanes in any order.
struct Local {
  uint32_t s = 0;
  uint32_t c = 0;
  void Add(uint64_t total) {
    const uint32_t low = static_cast<uint32_t>(total);
    const uint32_t t = s + low;
    c += static_cast<uint32_t>(total >> 32) + (t < s ? 1u : 0u);
    s = t;
  }
};

// The 64-bit sum of `words` little-endian 32-bit words (words < 2^32, so it
// cannot overflow).
uint64_t SumWords(const unsigned char *p, size_t words) {
  uint64_t t = 0;
  size_t i = 0;
#if defined(__SSE2__)
  if constexpr (std::endian::native == std::endian::little) {
    // Four words at a time, widened to 64-bit lanes; two accumulators.
    const __m128i zero = _mm_setzero_si128();
    __m128i a = zero, b = zero;
    for (; i + 8 <= words; i += 8) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 4 * i));
      const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 4 * i + 16));
      a = _mm_add_epi64(a, _mm_add_epi64(_mm_unpacklo_epi32(v, zero), _mm_unpackhi_epi32(v, zero)));
      b = _mm_add_epi64(b, _mm_add_epi64(_mm_unpacklo_epi32(w, zero), _mm_unpackhi_epi32(w, zero)));
    }
    alignas(16) uint64_t lanes[2];
    _mm_store_si128(reinterpret_cast<__m128i *>(lanes), _mm_add_epi64(a, b));
    t = lanes[0] + lanes[1];
  }
#endif
  for (; i < words; ++i)
    t += Word32(p + 4 * i);
  return t;
}

Local Total(size_t n, const void *data) {
  Local l;
  const auto *p = static_cast<const unsigned char *>(data);
  // Runs short enough that their 64-bit sums cannot overflow.
  constexpr size_t Run = size_t{1} << 30;
  while (n >= 4) {
    const size_t words = std::min(n / 4, Run);
    l.Add(SumWords(p, words));
    p += 4 * words;
    n -= 4 * words;
  }
  if (n >= 2) {
    l.Add(uint32_t{p[0]} | uint32_t{p[1]} << 8);
    p += 2;
    n -= 2;
  }
  if (n == 1)
    l.Add(p[0]);
  return l;
}

// Merge dropping the carry of S + s.
void MergeLossy(const Local &l, uint32_t &sum, uint32_t &carry) {
  sum += l.s;
  carry += l.c;
}

// Merge as one 64-bit addition.
void Merge64(const Local &l, uint32_t &sum, uint32_t &carry) {
  const uint32_t t = sum + l.s;
  carry += l.c + (t < sum ? 1u : 0u);
  sum = t;
}

} // namespace

void ASumKs(size_t n, const void *data, uint32_t &sum, uint32_t &carry) {
  if (n == 0 || data == nullptr)
    return;
  MergeLossy(Total(n, data), sum, carry);
}

void ASumKsBlocks(size_t n, const void *data, uint32_t &sum, uint32_t &carry) {
  const auto *p = static_cast<const unsigned char *>(data);
  for (size_t at = 0; at < n; at += ChecksumBlock)
    ASumKs(std::min(ChecksumBlock, n - at), p + at, sum, carry);
}

void ASumKs(size_t n, const void *data, uint32_t *sum, uint32_t *carry) {
  if (sum != nullptr && carry != nullptr)
    ASumKs(n, data, *sum, *carry);
}

void ASumKs(const std::string &text, uint32_t &sum, uint32_t &carry) {
  NASumKs(text.size(), text.data(), sum, carry);
}

void NASumKs(size_t n, const void *data, uint32_t &sum, uint32_t &carry) {
  if (n == 0 || data == nullptr)
    return;
  Merge64(Total(n, data), sum, carry);
}

void NASumKs(size_t n, const void *data, uint32_t *sum, uint32_t *carry) {
  if (sum != nullptr && carry != nullptr)
    NASumKs(n, data, *sum, *carry);
}

void ASumKsD(size_t n, const void *data, double *acc) {
  if (acc == nullptr || data == nullptr || n == 0)
    return;
  // Nearest rounding in extended precision: the pieces add up exactly while the
  // total fits in the 64-bit mantissa, and are rounded to double once.
  const int mode = std::fegetround();
  std::fesetround(FE_TONEAREST);
  long double t = *acc;
  const auto *p = static_cast<const unsigned char *>(data);
  for (; n >= 4; n -= 4, p += 4)
    t += static_cast<int32_t>(Word32(p));
  if (n >= 2) {
    t += uint32_t{p[0]} | uint32_t{p[1]} << 8;
    p += 2;
    n -= 2;
  }
  if (n == 1)
    t += p[0];
  *acc = static_cast<double>(t);
  std::fesetround(mode);
}

double ASumKsD(size_t n, const void *data) {
  double acc = 0.0;
  ASumKsD(n, data, &acc);
  return acc;
}

void PlusKs(const uint32_t *aLow, const uint32_t *aHigh, uint32_t *bLow, uint32_t *bHigh) {
  if (aLow == nullptr || bLow == nullptr)
    return;
  const uint32_t a = *aLow;
  const uint32_t b = *bLow;
  *bLow = b + a;
  const bool wrapped = *bLow < b;
  if (aHigh != nullptr && bHigh != nullptr)
    *bHigh += *aHigh + (wrapped ? 1u : 0u);
}

void PlusKsC(const uint32_t *aLow, const uint32_t *aHigh, uint32_t *bLow, uint32_t *bHigh) {
  PlusKs(aLow, aHigh, bLow, bHigh);
}
