#include "ChecksumPair.h"

#include "Checksum.h"

void CalcKSC(const void *data, size_t n, uint32_t *sum, uint32_t *carry) {
  // n div 4 words, then a 16-bit word when bit 1 of n is set, then a byte when
  // bit 0 is set: the same pieces as the common split, merged as 64 bits.
  NASumKs(n, data, sum, carry);
}

void S_KSum::Calc(const void *data, size_t n, bool reset) {
  if (reset) {
    Sum = 0;
    Carry = 0;
  }
  CalcKSC(data, n, &Sum, &Carry);
}

void S_KSum::Calc(const std::string &text, bool reset) {
  Calc(text.data(), text.size(), reset);
}

void SumKsC(size_t n, const void *data, uint32_t *sum, uint32_t *carry) {
  ASumKs(n, data, sum, carry);
}

// The reference forms start from the caller's pair, like every other member of
// the family, so that a running checksum can be continued block by block.
void SumKsC(size_t n, const void *data, uint32_t &sum, uint32_t &carry) {
  ASumKs(n, data, sum, carry);
}

void SumKsC(const std::string &text, uint32_t &sum, uint32_t &carry) {
  ASumKs(text.size(), text.data(), sum, carry);
}
