#include "Edition.h"

#include "Cursor.h"

std::string ZEPVER = "5-2.10.4";
std::string StudyZEPVER = "5\xD3-2.10.4"; // "5У-2.10.4"
std::string DemoZEPVER = "5\xC4-2.10.4";  // "5Д-2.10.4"
std::string ClearZEPVER = "2.10.4";
uint8_t cNumZEP = 5, cTypeZEP = 0, cNumEdit = 2, cNumVer = 10, cNumUpgr = 4;

void ResetCurrentEdition() {
  ZEPVER = "5-2.10.4";
  StudyZEPVER = "5\xD3-2.10.4"; // "5У-2.10.4"
  DemoZEPVER = "5\xC4-2.10.4";  // "5Д-2.10.4"
  ClearZEPVER = "2.10.4";
  cNumZEP = 5;
  cTypeZEP = 0;
  cNumEdit = 2;
  cNumVer = 10;
  cNumUpgr = 4;
}

namespace {

constexpr char kStudyLetter = '\xD3'; // Cyrillic "У" in Windows-1251

uint8_t Number(const char *&cur, const char *end) {
  return static_cast<uint8_t>(LoadIntNumeric(cur, end)); // the low 8 bits
}

void SkipDot(const char *&cur, const char *end) {
  if (cur < end && *cur == '.')
    ++cur;
}

// 0x10 when a > b, 0x02 (or `smaller`) when a < b, 0 when equal.
uint8_t Order(uint8_t a, uint8_t b, uint8_t smaller) {
  return a > b ? ver_Newer : a < b ? smaller : 0;
}

} // namespace

void SZEPVER::ParserVersion(const std::string &text, int /*len*/) {
  // The text ends at its first zero byte, as a stored zero-terminated one does.
  VerText = text.substr(0, text.find('\0'));
  NumZep = 3;
  const char *cur = VerText.data();
  const char *end = cur + VerText.size();
  if (cur == end)
    return;
  if (VerText.size() >= 3 && VerText[2] == '-') {
    TypeEdition = VerText[1] == kStudyLetter ? 2 : 1;
    const char *p = cur;
    NumZep = Number(p, end);
    cur += 3;
  } else if (VerText.size() >= 2 && VerText[1] == '-') {
    const char *p = cur;
    NumZep = Number(p, end);
    cur += 2;
  }
  NumEdit = Number(cur, end);
  SkipDot(cur, end);
  if (cur == end)
    return;
  NumVer = Number(cur, end);
  SkipDot(cur, end);
  if (cur == end)
    return;
  NumUpgr = Number(cur, end);
  if (cur != end)
    Tail = true;
}

uint8_t SZEPVER::Compare() const {
  const uint8_t type = TypeEdition != cTypeZEP ? ver_OtherType : 0;
  const uint8_t major[3][2] = {{NumZep, cNumZEP}, {NumEdit, cNumEdit}, {NumVer, cNumVer}};
  for (const auto &pair : major)
    if (const uint8_t o = Order(pair[0], pair[1], ver_Older))
      return type | o;
  if (const uint8_t o = Order(NumUpgr, cNumUpgr, ver_OlderUpgr))
    return type | o;
  if (Tail)
    return ver_Same | ver_Tail; // the type bit is not included here
  return type | ver_Same;
}

uint8_t SZEPVER::CompareVersion(const std::string &text, int len) {
  ParserVersion(text, len);
  return Compare();
}

bool SZEPVER::CompareVersion(const std::string &text, int len, const std::string &second) {
  ParserVersion(second, len);
  SaveZep = NumZep;
  SaveEdit = NumEdit;
  SaveVer = NumVer;
  ParserVersion(text, len);
  return SaveZep == NumZep && SaveEdit == NumEdit && SaveVer == NumVer;
}

void SZEPVER::LoadVerCfg(const std::string &text) {
  ParserVersion(text);
  cNumZEP = NumZep;
  cTypeZEP = TypeEdition;
  cNumEdit = NumEdit;
  cNumVer = NumVer;
  cNumUpgr = NumUpgr;
  ClearZEPVER =
      std::to_string(NumEdit) + "." + std::to_string(NumVer) + "." + std::to_string(NumUpgr);
}
