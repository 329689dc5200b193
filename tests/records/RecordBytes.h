// Builders of packed record bytes for the record layout tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

#include "BilingualText.h"
#include "RecordBuffer.h"
#include "RecordLayout.h"

namespace recbytes {

inline std::string U8(uint8_t v) {
  return std::string(1, static_cast<char>(v));
}
inline std::string U16(uint16_t v) {
  return U8(v & 0xFF) + U8(v >> 8);
}
inline std::string U32(uint32_t v) {
  return U16(v & 0xFFFF) + U16(v >> 16);
}
inline std::string Real(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return U32(static_cast<uint32_t>(bits)) + U32(static_cast<uint32_t>(bits >> 32));
}
// The three text forms.
inline std::string Long(const std::string &t) {
  return U16(static_cast<uint16_t>(t.size())) + t;
}
inline std::string Short82(const std::string &t) {
  return U8(static_cast<uint8_t>(t.size())) + "\x82" + t;
}
inline std::string Short81(const std::string &t) {
  return U8(static_cast<uint8_t>(t.size())) + "\x81" + t;
}

inline TZFieldList List(std::initializer_list<int> kinds) {
  TZFieldList l;
  for (int k : kinds)
    l.push_back(TZTabField{"", static_cast<TypeField>(k), 0, 0});
  return l;
}

inline void Fill(WRec &r, const std::string &bytes) {
  std::memcpy(r.Data, bytes.data(), bytes.size());
  r.Len = static_cast<uint16_t>(bytes.size());
}

inline std::string Body(const WRec &r) {
  return std::string(r.Data, r.Len);
}

// Sets the data language of the configuration record for one scope.
struct DataLangScope {
  unsigned char old;
  explicit DataLangScope(unsigned char lang) : old(Cfg[CfgDataLangPos]) {
    Cfg[CfgDataLangPos] = lang;
  }
  ~DataLangScope() { Cfg[CfgDataLangPos] = old; }
};

} // namespace recbytes
