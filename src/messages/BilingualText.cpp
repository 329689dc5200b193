#include "BilingualText.h"

#include <cstring>

ELang IFaceLang = elg_Ukr;
unsigned char Cfg[CfgSize] = {};

TAGELangType DataLang() {
  return static_cast<TAGELangType>(Cfg[CfgDataLangPos]);
}
TAGELangType InterfaceLang() {
  return static_cast<TAGELangType>(Cfg[CfgIfaceLangPos]);
}
bool InterfaceRussian() {
  return Cfg[CfgIfaceLangPos] != 0;
}

namespace {

int FirstOf(const char *text, int len, char c) {
  const void *p = std::memchr(text, c, static_cast<size_t>(len));
  return p ? static_cast<int>(static_cast<const char *>(p) - text) : -1;
}

// The walk of GetStringLangC/H over a positive length.
int CopyLang(int lang, char *dest, const char *src, int len, char rus, char ukr) {
  int out = 0;
  int i = 0;
  if (len < 0) {
    len = -len;
    if (len > 0 && ((src[0] == rus && lang != 0) || (src[0] == ukr && lang == 0))) {
      dest[0] = '\0';
      return 0;
    }
    if (len > 0 && (src[0] == rus || src[0] == ukr))
      i = 1; // a marker of the other language at the start is dropped
  }
  while (i < len) {
    const char c = src[i];
    if (c != rus && c != ukr) {
      dest[out++] = c;
      ++i;
      continue;
    }
    const bool keep = (c == rus) ? lang == 1 : lang == 0;
    ++i;
    while (i < len && src[i] != rus && src[i] != ukr) {
      if (keep)
        dest[out++] = src[i];
      ++i;
    }
    if (i < len && src[i] == c)
      ++i; // the closing marker of the same kind is dropped too
  }
  dest[out] = '\0';
  return out;
}

std::string CopyLang(int lang, const std::string &src, char rus, char ukr) {
  if (src.empty())
    return {};
  std::string dest(src.size() + 1, '\0');
  const int n = CopyLang(lang, dest.data(), src.data(), static_cast<int>(src.size()), rus, ukr);
  dest.resize(static_cast<size_t>(n));
  return dest;
}

} // namespace

int GetTextLang(int lang, const char *text, int len, const char *&start, bool charMarkers) {
  start = text;
  if (text == nullptr || len < 0)
    return 0;
  if (len == 0)
    len = static_cast<int>(std::strlen(text));
  if (len == 0)
    return 0;
  const char rus = charMarkers ? LangRc : LangRh;
  const char ukr = charMarkers ? LangUc : LangUh;
  if (lang != 0 && lang != 1)
    return len;
  const int r = FirstOf(text, len, rus);
  const int u = FirstOf(text, len, ukr);
  if (r < 0 && u < 0)
    return len;
  const int own = lang == 1 ? r : u;
  const int other = lang == 1 ? u : r;
  if (own < 0)
    return 0;
  const int end = other > own ? other : len;
  start = text + own + 1;
  return end - own - 1;
}

std::string GetTextLang(int lang, const std::string &text) {
  if (text.empty())
    return {};
  const char *start = nullptr;
  const int n = GetTextLang(lang, text.data(), static_cast<int>(text.size()), start);
  return std::string(start, static_cast<size_t>(n));
}

std::string GetTextLang(int lang, const std::string &text, int len) {
  if (len < 0)
    return {};
  if (len == 0 || static_cast<size_t>(len) > text.size()) {
    // 0: up to the first zero byte; never beyond the string.
    const size_t z = text.find('\0');
    const size_t limit = len == 0 ? z : text.size();
    len = static_cast<int>(limit == std::string::npos ? text.size() : limit);
    if (len == 0)
      return {};
  }
  const char *start = nullptr;
  const int n = GetTextLang(lang, text.data(), len, start);
  return std::string(start, static_cast<size_t>(n));
}

int GetStringLangC(int lang, char *dest, const char *src, int len) {
  return CopyLang(lang, dest, src, len, LangRc, LangUc);
}

int GetStringLangH(int lang, char *dest, const char *src, int len) {
  return CopyLang(lang, dest, src, len, LangRh, LangUh);
}

std::string GetStringLangC(int lang, const std::string &src) {
  return CopyLang(lang, src, LangRc, LangUc);
}

std::string GetStringLangH(int lang, const std::string &src) {
  return CopyLang(lang, src, LangRh, LangUh);
}

namespace {

// Code points of the bytes 0x80..0xFF.
constexpr char16_t kCp1251High[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98 (0x98 undefined)
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, // F8
};

void AppendUtf8(std::string &out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

} // namespace

std::string Cp1251ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    AppendUtf8(out, b < 0x80 ? char32_t{b} : char32_t{kCp1251High[b - 0x80]});
  }
  return out;
}
