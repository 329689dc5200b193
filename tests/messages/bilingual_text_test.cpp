#include "BilingualText.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace {

const std::string R = "\x04";
const std::string U = "\x05";

struct LangCase {
  int lang;
  std::string text;
  std::string expected;
};

void PrintTo(const LangCase &c, std::ostream *os) {
  *os << c.lang << " '" << c.text << "'";
}

class GetTextLangTable : public ::testing::TestWithParam<LangCase> {};

TEST_P(GetTextLangTable, SelectsByFirstMarkers) {
  const LangCase &c = GetParam();
  EXPECT_EQ(GetTextLang(c.lang, c.text), c.expected);
  // The explicit length over the whole string gives the same part.
  EXPECT_EQ(GetTextLang(c.lang, c.text, static_cast<int>(c.text.size())), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GetTextLangTable,
    ::testing::Values(LangCase{1, R + "Файл" + U + "Файл укр", "Файл"},
                      LangCase{0, R + "Файл" + U + "Файл укр", "Файл укр"},
                      LangCase{2, R + "Файл" + U + "Файл укр", R + "Файл" + U + "Файл укр"},
                      LangCase{7, R + "a" + U + "b", R + "a" + U + "b"}, // above 2: whole
                      LangCase{0, R + "только русский", ""}, LangCase{1, "plain", "plain"},
                      LangCase{0, "plain", "plain"}, LangCase{1, "x" + R + "a" + U + "b", "a"},
                      LangCase{0, "x" + R + "a" + U + "b", "b"},
                      LangCase{0, U + "укр" + R + "рус", "укр"},
                      LangCase{1, U + "укр" + R + "рус", "рус"}, LangCase{1, R + U + "b", ""},
                      LangCase{0, R + U + "b", "b"},
                      // Only the first marker of each kind counts.
                      LangCase{1, R + "a" + U + "b" + R + "c", "a"},
                      LangCase{0, R + "a" + U + "b" + R + "c", "b" + R + "c"}, LangCase{1, "", ""},
                      LangCase{2, "", ""}));

TEST(GetTextLang, ZeroLengthStopsAtTheFirstZeroByte) {
  const std::string text = R + "a" + U + "bc" + std::string(1, '\0') + R + "zz";
  EXPECT_EQ(GetTextLang(0, text, 0), "bc");
  EXPECT_EQ(GetTextLang(1, text, 0), "a");
  // The whole-string form uses every byte, so the later marker is seen too.
  EXPECT_EQ(GetTextLang(0, text), "bc" + std::string(1, '\0') + R + "zz");
  // A text whose first byte is zero is empty.
  EXPECT_EQ(GetTextLang(1, std::string(1, '\0') + R + "a", 0), "");
  const char *start = nullptr;
  EXPECT_EQ(GetTextLang(1, "\0abc", 0, start), 0);
}

TEST(GetTextLang, ExplicitLengthCutsTheText) {
  const std::string text = R + "ab" + U + "cd";
  EXPECT_EQ(GetTextLang(1, text, 2), "a");
  EXPECT_EQ(GetTextLang(0, text, 2), ""); // the Ukrainian marker lies beyond the length
  EXPECT_EQ(GetTextLang(0, text, 5), "c");
  EXPECT_EQ(GetTextLang(0, text, 100), "cd"); // never beyond the string
  EXPECT_EQ(GetTextLang(0, text, -1), "");
}

TEST(GetTextLang, PointerFormGivesStartAndLength) {
  const char text[] = "x^rus&ukr";
  const char *start = nullptr;
  EXPECT_EQ(GetTextLang(1, text, 0, start, true), 3);
  EXPECT_EQ(start, text + 2);
  EXPECT_EQ(GetTextLang(0, text, 0, start, true), 3);
  EXPECT_EQ(start, text + 6);
  // Without character markers the same text has no markers: whole.
  EXPECT_EQ(GetTextLang(0, text, 0, start, false), 9);
  EXPECT_EQ(start, text);
  EXPECT_EQ(GetTextLang(1, nullptr, 5, start), 0);
}

struct CopyCase {
  int lang;
  std::string src;
  int sign; // +1 normal length, -1 the negative-length mode
  std::string expected;
};

void PrintTo(const CopyCase &c, std::ostream *os) {
  *os << c.lang << " '" << c.src << "' " << c.sign;
}

class GetStringLangCTable : public ::testing::TestWithParam<CopyCase> {};

TEST_P(GetStringLangCTable, KeepsCommonTextAndOneLanguage) {
  const CopyCase &c = GetParam();
  std::vector<char> dest(c.src.size() + 1, 'X');
  const int n =
      GetStringLangC(c.lang, dest.data(), c.src.data(), c.sign * static_cast<int>(c.src.size()));
  ASSERT_EQ(n, static_cast<int>(c.expected.size()));
  EXPECT_EQ(std::string(dest.data(), static_cast<size_t>(n)), c.expected);
  EXPECT_EQ(dest[static_cast<size_t>(n)], '\0');
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GetStringLangCTable,
    ::testing::Values(CopyCase{1, "Файл ^имя^&ім'я& выбран", 1, "Файл имя выбран"},
                      CopyCase{0, "Файл ^имя^&ім'я& выбран", 1, "Файл ім'я выбран"},
                      CopyCase{2, "Файл ^имя^&ім'я& выбран", 1, "Файл  выбран"},
                      // A part closed by the other language's marker hands over to it.
                      CopyCase{1, "a^r&u", 1, "ar"}, CopyCase{0, "a^r&u", 1, "au"},
                      CopyCase{1, "plain", 1, "plain"}, CopyCase{1, "", 1, ""},
                      // Negative length: a marker of the selected language at the start
                      // gives the empty text...
                      CopyCase{1, "^r^ common", -1, ""}, CopyCase{2, "^r^ common", -1, ""},
                      CopyCase{0, "&u& common", -1, ""},
                      // ...while one of the other language is dropped and the walk goes on.
                      CopyCase{0, "^r common", -1, "r common"},
                      CopyCase{1, "&u common", -1, "u common"},
                      CopyCase{0, "^r^ common", -1, "r"}, // the next "^" opens a part
                      CopyCase{2, "&u common", -1, "u common"}, CopyCase{1, "x^r^", -1, "xr"}));

TEST(GetStringLangH, UsesByteMarkers) {
  const std::string src = "A " + R + "рус" + R + U + "укр" + U + " B";
  EXPECT_EQ(GetStringLangH(1, src), "A рус B");
  EXPECT_EQ(GetStringLangH(0, src), "A укр B");
  EXPECT_EQ(GetStringLangH(2, src), "A  B");
  // The character markers are ordinary characters here.
  EXPECT_EQ(GetStringLangH(1, "^a&b"), "^a&b");
  EXPECT_EQ(GetStringLangC(1, "^a&b"), "a");
}

// The system's own converter serves as an independent reference.
#ifdef _WIN32
std::string IconvCp1251(unsigned char b, bool &ok) {
  const char in[1] = {static_cast<char>(b)};
  wchar_t w[2] = {};
  char out[8] = {};
  const int nw = ::MultiByteToWideChar(1251, MB_ERR_INVALID_CHARS, in, 1, w, 2);
  const int n =
      nw > 0 ? ::WideCharToMultiByte(CP_UTF8, 0, w, nw, out, sizeof out, nullptr, nullptr) : 0;
  // Windows gives the undefined byte 0x98 the control character U+0098.
  ok = n > 0 && !(nw == 1 && w[0] == 0x98);
  return std::string(out, static_cast<size_t>(n));
}
#else
std::string IconvCp1251(unsigned char b, bool &ok) {
  iconv_t cd = iconv_open("UTF-8", "CP1251");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    ok = false;
    return {};
  }
  char in[1] = {static_cast<char>(b)};
  char out[8] = {};
  char *pin = in;
  char *pout = out;
  size_t nin = 1, nout = sizeof out;
  ok = iconv(cd, &pin, &nin, &pout, &nout) != static_cast<size_t>(-1);
  iconv_close(cd);
  return std::string(out, sizeof out - nout);
}
#endif

TEST(Cp1251ToUtf8, MatchesTheSystemConverterOverAllBytes) {
  bool available = true;
  IconvCp1251('A', available);
  if (!available)
    GTEST_SKIP() << "no CP1251 converter in this system";
  for (int b = 0; b < 256; ++b) {
    const std::string got = Cp1251ToUtf8(std::string(1, static_cast<char>(b)));
    bool ok = false;
    const std::string want = IconvCp1251(static_cast<unsigned char>(b), ok);
    if (b == 0x98) {
      EXPECT_FALSE(ok); // undefined in the code page
      EXPECT_EQ(got, "\xEF\xBF\xBD") << "byte 0x98";
    } else {
      ASSERT_TRUE(ok) << b;
      EXPECT_EQ(got, want) << "byte " << b;
    }
  }
}

TEST(Cp1251ToUtf8, DecodesTexts) {
  EXPECT_EQ(Cp1251ToUtf8("5\xD3-2.10.4"), "5У-2.10.4");
  EXPECT_EQ(Cp1251ToUtf8("\xCF\xF0\xE8\xE2\xB3\xF2 \xBF\xE6\xE0\xEA \xB9"), "Привіт їжак №");
  EXPECT_EQ(Cp1251ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
  EXPECT_EQ(Cp1251ToUtf8(""), "");
}

TEST(LanguageSettings, StartUkrainian) {
  EXPECT_EQ(IFaceLang, elg_Ukr);
  EXPECT_EQ(DataLang(), agl_Ukr);
  EXPECT_EQ(InterfaceLang(), agl_Ukr);
  EXPECT_FALSE(InterfaceRussian());
  Cfg[CfgIfaceLangPos] = 2; // any non-zero value counts as Russian
  EXPECT_TRUE(InterfaceRussian());
  Cfg[CfgIfaceLangPos] = 0;
}

} // namespace
