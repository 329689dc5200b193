#include "XorCoding.h"

void KodDekodXor(void *p, uint32_t n, uint32_t key) {
  // The 32-bit words hold the key in both halves and the tail words use the
  // same key, so in little-endian byte order every even byte is XORed with the
  // key's low byte and every odd byte with its high byte.
  const unsigned char lo = static_cast<unsigned char>(key & 0xFFu);
  const unsigned char hi = static_cast<unsigned char>((key >> 8) & 0xFFu);
  unsigned char *b = static_cast<unsigned char *>(p);
  uint32_t i = 0;
  for (; i + 1 < n; i += 2) {
    b[i] ^= lo;
    b[i + 1] ^= hi;
  }
  if (i < n)
    b[i] ^= lo;
}
