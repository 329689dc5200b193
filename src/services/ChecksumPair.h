// Checksum pair members kept as an object, and the SumKsC forms. See
// Checksum.h for the pieces and the two ways of merging.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// 64-bit merge (as NASumKs) into the caller's pair.
void CalcKSC(const void *data, size_t n, uint32_t *sum, uint32_t *carry);

class S_KSum {
public:
  uint32_t Sum = 0;
  uint32_t Carry = 0;
  // Adds the buffer (64-bit merge); reset sets the pair to 0 first.
  void Calc(const void *data, size_t n, bool reset);
  void Calc(const std::string &text, bool reset);
};

// As ASumKs (carry of S + s lost). All three forms start from the caller's pair.
void SumKsC(size_t n, const void *data, uint32_t *sum, uint32_t *carry);
void SumKsC(size_t n, const void *data, uint32_t &sum, uint32_t &carry);
void SumKsC(const std::string &text, uint32_t &sum, uint32_t &carry);
