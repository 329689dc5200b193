#include "OutputText.h"

#include <cstdio>

namespace {

unsigned char At(const std::string &s, size_t i) {
  return static_cast<unsigned char>(s[i]);
}

bool Continuation(const std::string &s, size_t i, unsigned char lo = 0x80,
                  unsigned char hi = 0xBF) {
  return i < s.size() && At(s, i) >= lo && At(s, i) <= hi;
}

std::string Hex(unsigned char c) {
  char buf[5];
  std::snprintf(buf, sizeof buf, "\\x%02X", c);
  return buf;
}

// A control character of C0, DEL, or of C1 (U+0080..U+009F, stored as C2 80..C2 9F).
bool Control(const std::string &s, size_t at, size_t len) {
  const unsigned char c = At(s, at);
  return (len == 1 && (c < 0x20 || c == 0x7F)) || (len == 2 && c == 0xC2 && At(s, at + 1) < 0xA0);
}

} // namespace

size_t Utf8Length(const std::string &s, size_t at) {
  const unsigned char c = At(s, at);
  if (c < 0x80)
    return 1;
  // Well-formed sequences as the Unicode standard lists them (table 3-7).
  if (c >= 0xC2 && c <= 0xDF)
    return Continuation(s, at + 1) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    const unsigned char lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
    return Continuation(s, at + 1, lo, hi) && Continuation(s, at + 2) ? 3 : 0;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    const unsigned char lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
    return Continuation(s, at + 1, lo, hi) && Continuation(s, at + 2) && Continuation(s, at + 3)
               ? 4
               : 0;
  }
  return 0;
}

std::string OneLine(const std::string &s) {
  bool plain = true;
  for (size_t i = 0; i < s.size() && plain;) {
    const size_t len = Utf8Length(s, i);
    plain = len != 0 && !Control(s, i, len);
    i += len;
  }
  if (plain)
    return s;
  std::string q = "\"";
  for (size_t i = 0; i < s.size();) {
    const size_t len = Utf8Length(s, i);
    const unsigned char c = At(s, i);
    if (len == 0 || Control(s, i, len)) {
      const size_t n = len == 0 ? 1 : len;
      for (size_t k = 0; k < n; ++k) {
        const unsigned char b = At(s, i + k);
        q += b == '\n' ? "\\n" : b == '\r' ? "\\r" : b == '\t' ? "\\t" : Hex(b);
      }
      i += n;
      continue;
    }
    if (c == '"' || c == '\\')
      q += '\\';
    q.append(s, i, len);
    i += len;
  }
  return q + "\"";
}

std::string Utf8OrEscaped(const std::string &s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const size_t len = Utf8Length(s, i);
    if (len == 0) {
      out += Hex(At(s, i));
      ++i;
    } else {
      out.append(s, i, len);
      i += len;
    }
  }
  return out;
}
