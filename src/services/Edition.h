// Edition strings ("5-2.10.4", "5У-2.10.4") parsed into numbers and compared
// with the program's current edition.
#pragma once

#include <cstdint>
#include <string>

// Bits of the comparison result.
constexpr uint8_t ver_Same = 0x01;      // all four numbers equal
constexpr uint8_t ver_Older = 0x02;     // generation, edition or version smaller
constexpr uint8_t ver_OlderUpgr = 0x04; // only the upgrade number smaller
constexpr uint8_t ver_OtherType = 0x08; // edition type differs from the current one
constexpr uint8_t ver_Newer = 0x10;     // first differing number larger
constexpr uint8_t ver_Tail = 0x20;      // with ver_Same: text has a tail

struct SZEPVER {
  uint8_t NumZep = 0;      // generation; 3 when the text has no prefix
  uint8_t TypeEdition = 0; // 0 no type letter, 2 study ("У"), 1 any other letter
  uint8_t NumEdit = 0;
  uint8_t NumVer = 0;
  uint8_t NumUpgr = 0;
  bool Tail = false; // characters follow the upgrade number (only ever set)
  uint8_t SaveZep = 0, SaveEdit = 0, SaveVer = 0; // of the two-text CompareVersion
  std::string VerText;                            // the text last parsed

  // Parses Windows-1251 bytes (up to the first zero byte). Members the text
  // does not reach keep their values; len is not used.
  void ParserVersion(const std::string &text, int len = 0);
  // The ver_* bit set of the members against the current edition.
  uint8_t Compare() const;
  uint8_t CompareVersion(const std::string &text, int len = 0);
  // True when text and second agree in generation, edition and version.
  bool CompareVersion(const std::string &text, int len, const std::string &second);
  // Makes the parsed text the current edition (cNum*, cTypeZEP, ClearZEPVER).
  void LoadVerCfg(const std::string &text);
};

// The program's current edition (edition strings are Windows-1251 bytes).
extern std::string ZEPVER;      // "5-2.10.4"
extern std::string StudyZEPVER; // "5\xD3-2.10.4"
extern std::string DemoZEPVER;  // "5\xC4-2.10.4"
extern std::string ClearZEPVER; // "2.10.4"
extern uint8_t cNumZEP, cTypeZEP, cNumEdit, cNumVer, cNumUpgr;

// Restores the current edition to its start values (5-2.10.4).
void ResetCurrentEdition();
