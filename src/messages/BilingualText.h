// Bilingual (Russian/Ukrainian) texts: the language settings, the marker
// characters and the functions that pick one language out of a stored text.
// Also the Windows-1251 decoder used wherever a data text is shown to a person.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Language of a stored-text selection. Values above 2 behave like 2.
enum TAGELangType : uint8_t {
  agl_Ukr = 0,   // the Ukrainian part
  agl_Rus = 1,   // the Russian part
  agl_Whole = 2, // the whole text unchanged
};

// Language of the bilingual controls (numbered the other way round).
enum ELang : uint8_t {
  elg_Rus = 0,
  elg_Ukr = 1,
  elg_End = 2, // the shown text, whichever language it is in
};

// Language shown by bilingual controls when they are created.
extern ELang IFaceLang;

// The configuration record: all zero until the configuration loader fills it.
constexpr int CfgSize = 2703;
constexpr int CfgDataLangPos = 22;  // TAGELangType of data texts and alias paths
constexpr int CfgIfaceLangPos = 23; // TAGELangType of messages and dialog titles
constexpr int CfgEditionPos = 24;   // configured edition string, zero-terminated
extern unsigned char Cfg[CfgSize];

// Byte 22 / byte 23 of Cfg as they stand (may be above 2).
TAGELangType DataLang();
TAGELangType InterfaceLang();
// The interface language counts as Russian when its byte is not zero.
bool InterfaceRussian();

// Byte markers of stored texts.
constexpr char LangRh = '\x04';
constexpr char LangUh = '\x05';
constexpr char WDelim4 = LangRh;
constexpr char WDelim5 = LangUh;
// The same markers as one-character texts.
inline constexpr char LangRa[] = "\x04";
inline constexpr char LangUa[] = "\x05";
inline constexpr char WADelimRus[] = "\x04";
inline constexpr char WADelimUkr[] = "\x05";
// Character markers of texts typed by people.
constexpr char LangRc = '^';
constexpr char LangUc = '&';

// Selects by the first markers: the part after the first marker of `lang`
// up to the first marker of the other language when that comes later, else
// to the end. Text before the first marker belongs to no language. lang 0 is
// Ukrainian, 1 Russian, 2 and above the whole text; a text without markers
// is whole in every language. len 0 means up to the first zero byte; a
// negative len or a null text gives the empty part. Returns the length of the
// part and points `start` at it (at `text` when empty).
int GetTextLang(int lang, const char *text, int len, const char *&start, bool charMarkers = false);
// The same with byte markers, returning the part as a new text. The first form
// uses the whole string (empty string -> empty part); the second takes len
// bytes at most (0: up to the first zero byte inside the string).
std::string GetTextLang(int lang, const std::string &text);
std::string GetTextLang(int lang, const std::string &text, int len);

// Copies `len` bytes of `src` into `dest`, keeping the common text and the
// parts of `lang` and dropping the markers and the parts of the other
// language; dest is ended with a zero byte and must hold |len| + 1 bytes.
// Returns the number of bytes copied (without the zero). A negative len is
// made positive; then, when the source starts with a marker of the selected
// language (Russian marker and lang != 0, or Ukrainian marker and lang == 0)
// the result is empty, and a marker of the other language at the start is
// dropped and the copy goes on. len 0 copies nothing.
// ...C uses the character markers '^'/'&', ...H the byte markers 0x04/0x05.
int GetStringLangC(int lang, char *dest, const char *src, int len);
int GetStringLangH(int lang, char *dest, const char *src, int len);
// Convenience forms over a whole string (positive length).
std::string GetStringLangC(int lang, const std::string &src);
std::string GetStringLangH(int lang, const std::string &src);

// Decodes Windows-1251 bytes to UTF-8 (the undefined byte 0x98 becomes U+FFFD).
std::string Cp1251ToUtf8(std::string_view bytes);
