// XOR coding of the stored bytes of a coded composite block file. Coding and
// decoding are the same operation.
#pragma once

#include <cstdint>

// Fictitious addresses of the header and of the directory: their keys are
// kod * (FikAdr + 1), low 16 bits. Any fixed values serve, since no operation
// writes coded files. Both are chosen with FikAdr + 1 odd, so that neither key
// is 0 (no coding at all) for any kod not divisible by 65536.
constexpr uint32_t FikAdrHeader = 0x5A5A5A5Au;
constexpr uint32_t FikAdrLogInfo = 0x3C3C3C3Cu;

// Codes n bytes at p in place with the 16-bit key (key mod 65536): 32-bit
// little-endian words with the key in both halves, then a 16-bit word with the
// key when 2 or 3 bytes remain, then the last odd byte with its low byte.
void KodDekodXor(void *p, uint32_t n, uint32_t key);

// Keys of the three coded parts.
inline uint32_t KeyHeader(int kod) {
  return static_cast<uint32_t>(kod) * (FikAdrHeader + 1u);
}
inline uint32_t KeyLogInfo(int kod) {
  return static_cast<uint32_t>(kod) * (FikAdrLogInfo + 1u);
}
inline uint32_t KeyRecord(int kod, uint32_t adr) {
  return adr >> (static_cast<uint32_t>(kod) % 32u);
}
