#include "Checksum.h"

#include <bit>
#include <cfenv>
#include <cstring>

namespace {

uint32_t Word32(const unsigned char *p) {
  uint32_t w;
  std::memcpy(&w, p, sizeof w);
  if constexpr (std::endian::native == std::endian::big)
    w = __builtin_bswap32(w);
  return w;
}

// The exact total of one call's pieces: the 32-bit sum and its wraps.
struct Local {
  uint32_t s = 0;
  uint32_t c = 0;
  void Add(uint32_t piece) {
    const uint32_t t = s + piece;
    if (t < s)
      ++c;
    s = t;
  }
};

Local Total(size_t n, const void *data) {
  Local l;
  const auto *p = static_cast<const unsigned char *>(data);
  for (; n >= 4; n -= 4, p += 4)
    l.Add(Word32(p));
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
