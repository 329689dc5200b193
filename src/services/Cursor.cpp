#include "Cursor.h"

#include "Messages.h"

#include <cstring>

const char CursorOverrunText[] = "Пошкоджений запис: значення виходить за межі буфера";

namespace {

template <class B> void Need(const B *cur, const B *end, size_t n) {
  if (cur == nullptr || end < cur || static_cast<size_t>(end - cur) < n)
    throw ZError(CursorOverrunText, 0);
}

template <class T, class B> T LoadLE(const B *&cur, const B *end) {
  Need(cur, end, sizeof(T));
  unsigned char b[sizeof(T)];
  std::memcpy(b, cur, sizeof(T));
  uint64_t v = 0;
  for (size_t i = sizeof(T); i-- > 0;)
    v = (v << 8) | b[i];
  cur += sizeof(T);
  if constexpr (sizeof(T) == 8) {
    T out;
    std::memcpy(&out, &v, sizeof out);
    return out;
  } else {
    return static_cast<T>(v);
  }
}

template <class B> std::string Text(const B *&cur, const B *end) {
  const B *p = cur;
  const uint16_t len = LoadLE<uint16_t>(p, end);
  Need(p, end, len);
  std::string s(reinterpret_cast<const char *>(p), len);
  cur = p + len;
  return s;
}

template <class B> uint64_t Numeric(const B *&cur, const B *end) {
  constexpr int kMaxDigits = 29;
  uint64_t v = 0;
  if (cur == nullptr)
    return 0;
  for (int n = 0; n < kMaxDigits && cur < end; ++n, ++cur) {
    const auto c = static_cast<unsigned char>(*cur);
    if (c < '0' || c > '9')
      break;
    v = v * 10 + (c - '0'); // wraps modulo 2^64, keeping the low bits exact
  }
  return v;
}

} // namespace

uint8_t LoadByte(const char *&cur, const char *end) {
  return LoadLE<uint8_t>(cur, end);
}
uint16_t LoadWord(const char *&cur, const char *end) {
  return LoadLE<uint16_t>(cur, end);
}
uint32_t LoadDword(const char *&cur, const char *end) {
  return LoadLE<uint32_t>(cur, end);
}
int32_t LoadInt(const char *&cur, const char *end) {
  return static_cast<int32_t>(LoadLE<uint32_t>(cur, end));
}
double LoadDouble(const char *&cur, const char *end) {
  return LoadLE<double>(cur, end);
}
std::string LoadText(const char *&cur, const char *end) {
  return Text(cur, end);
}
uint64_t LoadIntNumeric(const char *&cur, const char *end) {
  return Numeric(cur, end);
}

using UC = unsigned char;
uint8_t LoadByte(const UC *&cur, const UC *end) {
  return LoadLE<uint8_t>(cur, end);
}
uint16_t LoadWord(const UC *&cur, const UC *end) {
  return LoadLE<uint16_t>(cur, end);
}
uint32_t LoadDword(const UC *&cur, const UC *end) {
  return LoadLE<uint32_t>(cur, end);
}
int32_t LoadInt(const UC *&cur, const UC *end) {
  return static_cast<int32_t>(LoadLE<uint32_t>(cur, end));
}
double LoadDouble(const UC *&cur, const UC *end) {
  return LoadLE<double>(cur, end);
}
std::string LoadText(const UC *&cur, const UC *end) {
  return Text(cur, end);
}
uint64_t LoadIntNumeric(const UC *&cur, const UC *end) {
  return Numeric(cur, end);
}
