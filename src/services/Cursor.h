// Cursor readers: read a little-endian value at a byte cursor and move the
// cursor past it. Every reader takes the end of the buffer as well and never
// reads at or past it: a value that does not fit raises ZError (number 0,
// text CursorOverrunText) and leaves the cursor where it was.
#pragma once

#include <cstdint>
#include <string>

// Message of the ZError raised when a value would run past the end.
extern const char CursorOverrunText[];

uint8_t LoadByte(const char *&cur, const char *end);
uint16_t LoadWord(const char *&cur, const char *end); // unsigned
uint32_t LoadDword(const char *&cur, const char *end);
int32_t LoadInt(const char *&cur, const char *end);
double LoadDouble(const char *&cur, const char *end);
// A 2-byte unsigned length, then that many bytes (raw, not transcoded).
std::string LoadText(const char *&cur, const char *end);
// Decimal digits, at most 29, stopping at the first other byte, a zero byte
// or the end; never raises. The value is taken modulo 2^64 (the low bits are
// exact whatever the number of digits); 0 when there is no digit.
uint64_t LoadIntNumeric(const char *&cur, const char *end);

// The same over unsigned bytes.
uint8_t LoadByte(const unsigned char *&cur, const unsigned char *end);
uint16_t LoadWord(const unsigned char *&cur, const unsigned char *end);
uint32_t LoadDword(const unsigned char *&cur, const unsigned char *end);
int32_t LoadInt(const unsigned char *&cur, const unsigned char *end);
double LoadDouble(const unsigned char *&cur, const unsigned char *end);
std::string LoadText(const unsigned char *&cur, const unsigned char *end);
uint64_t LoadIntNumeric(const unsigned char *&cur, const unsigned char *end);

// Fixed-place access to a 32-bit little-endian value in a buffer the caller
// has already bounded (headers, directory entries, record prefixes).
inline uint32_t Get32(const void *at) {
  const auto *p = static_cast<const unsigned char *>(at);
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void Put32(void *at, uint32_t v) {
  auto *p = static_cast<unsigned char *>(at);
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}
