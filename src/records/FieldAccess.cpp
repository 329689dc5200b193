// Descriptors from a record, empty records, single fields of a packed record
// and the conversions between packed values and their display texts.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "BilingualText.h"
#include "Messages.h"
#include "RecordBuffer.h"
#include "RecordLayout.h"

namespace {

[[noreturn]] void Fail(const std::string &text) {
  throw ZError(text, 0);
}

constexpr uint8_t ShortMark82 = 0x82;
constexpr uint8_t ShortMark81 = 0x81;

uint8_t Byte(const WRec &rec, size_t at) {
  return static_cast<uint8_t>(rec.Data[at]);
}

// Longest body a buffer can take: its capacity, and never more than Len can count.
size_t BodyLimit(const WRec &rec) {
  return std::min<size_t>(static_cast<size_t>(std::max(rec.Capacity(), 0)), 0xFFFF);
}

// The runtime's error for a position outside a list.
[[noreturn]] void OutOfList(int64_t pos) {
  Fail("List index out of bounds (" + std::to_string(pos) + ")");
}

int FindName(const TZFieldList &list, const std::string &name) {
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].Name == name)
      return static_cast<int>(i);
  return -1;
}

// Lookup of GetValuePack and GetValueUnPack: by name when the name is given or
// pos is negative (pos then receives the position), else by position.
// Returns -1 when the name is not in the list.
int Lookup(const TZFieldList &list, const std::string &name, int32_t &pos) {
  if (!name.empty() || pos < 0) {
    int i = FindName(list, name);
    if (i >= 0)
      pos = i;
    return i;
  }
  if (static_cast<size_t>(pos) >= list.size())
    OutOfList(pos);
  return pos;
}

// The value of a field occupies [Offset, Offset + width) of the record.
void CheckInRecord(const TZTabField &d, int64_t width, const WRec &rec, int pos) {
  int64_t end = static_cast<int64_t>(d.Offset) + width;
  if (d.Offset < 0 || width < 0 ||
      end > static_cast<int64_t>(std::min<size_t>(rec.Len, BodyLimit(rec))))
    Fail("Реквизит " + std::to_string(pos) + " (смещение " + std::to_string(d.Offset) + ", длина " +
         std::to_string(width) + ") лежит вне записи длиной " + std::to_string(rec.Len));
}

std::string Quoted(const std::string &text) {
  return "\"" + Cp1251ToUtf8(text) + "\"";
}

// The runtime's decimal integer conversion: optional leading blanks, an
// optional sign, decimal digits, nothing after them; within 32 bits signed.
int32_t StrToInt(const std::string &text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ')
    ++i;
  bool neg = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+'))
    neg = text[i++] == '-';
  size_t digits = 0;
  int64_t v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    v = v * 10 + (text[i] - '0');
    if (v > 2147483648LL)
      Fail(Quoted(text) + " не является целым числом в пределах 32 бит");
  }
  if (digits == 0 || i != text.size())
    Fail(Quoted(text) + " не является целым числом");
  if (neg)
    v = -v;
  if (v > 2147483647LL)
    Fail(Quoted(text) + " не является целым числом в пределах 32 бит");
  return static_cast<int32_t>(v);
}

// Holders of PackRk, one per width, and the last result of UnPackRk.
uint8_t Hold8;
uint16_t Hold16;
uint32_t Hold32;
double HoldReal;
std::string LastUnPack;

uint16_t Le16(const void *p) {
  const auto *b = static_cast<const uint8_t *>(p);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t Le32(const void *p) {
  const auto *b = static_cast<const uint8_t *>(p);
  return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
         (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

double LeReal(const void *p) {
  const auto *b = static_cast<const uint8_t *>(p);
  uint64_t bits = 0;
  for (int i = 7; i >= 0; --i)
    bits = (bits << 8) | b[i];
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

// Display text of a number of kinds 4 to 9 (kind 10 and 11 and the others: empty).
std::string NumberText(uint8_t kind, const void *p) {
  switch (kind) {
  case tf_Char:
    return std::string(1, *static_cast<const char *>(p));
  case tf_Small:
    return std::to_string(static_cast<int8_t>(*static_cast<const uint8_t *>(p)));
  case tf_Word:
    return std::to_string(Le16(p));
  case tf_DWord:
  case tf_Integer:
    return std::to_string(static_cast<int32_t>(Le32(p)));
  case tf_Real:
    return DFloatToStr(LeReal(p));
  default:
    return std::string();
  }
}

} // namespace

// ---- Descriptors from a record, empty records ------------------------------------

void CreatStructRecord(TZFieldList &list, const WRec &rec) {
  const size_t size = std::min<size_t>(rec.Len, BodyLimit(rec));
  size_t at = 0;
  for (TZTabField &d : list) {
    if (IsTextKind(d.Type)) {
      if (size - at < 2)
        return;
      uint8_t mark = Byte(rec, at + 1);
      TypeField kind = d.Type;
      size_t n;
      if (mark == ShortMark81 || mark == ShortMark82) {
        kind = mark == ShortMark81 ? tf_Text81 : tf_Text82;
        n = Byte(rec, at);
      } else {
        n = Byte(rec, at) | (static_cast<size_t>(mark) << 8);
      }
      if (size - at - 2 < n)
        return; // the text runs past the record: the walk ends here
      d.Type = kind;
      d.Offset = static_cast<int32_t>(at + 2);
      d.Length = static_cast<int32_t>(n);
      at += 2 + n;
    } else if (int width = KindWidth(d.Type); width > 0) {
      if (size - at < static_cast<size_t>(width))
        return;
      d.Offset = static_cast<int32_t>(at);
      d.Length = width;
      at += static_cast<size_t>(width);
    }
  }
}

TZFieldList &CreatEmptyRec(TZFieldList &list, WRec &rec, uint8_t flag) {
  size_t total = 0;
  for (const TZTabField &d : list)
    total += IsTextKind(d.Type) ? 2 : static_cast<size_t>(KindWidth(d.Type));
  if (total > BodyLimit(rec))
    Fail("Пустая запись списка описаний (" + std::to_string(total) +
         " байт) не помещается в буфер (" + std::to_string(BodyLimit(rec)) + " байт)");
  rec.Len = 0;
  rec.Flag = flag;
  rec.Next = EmptyAdr;
  size_t at = 0;
  for (TZTabField &d : list) {
    if (IsTextKind(d.Type)) {
      rec.Data[at] = 0;
      rec.Data[at + 1] = static_cast<char>(d.Type == tf_Text     ? 0
                                           : d.Type == tf_Text82 ? ShortMark82
                                                                 : ShortMark81);
      d.Offset = static_cast<int32_t>(at + 2);
      d.Length = 0;
      at += 2;
    } else if (int width = KindWidth(d.Type); width > 0) {
      std::memset(rec.Data + at, 0, static_cast<size_t>(width));
      d.Offset = static_cast<int32_t>(at);
      d.Length = width;
      at += static_cast<size_t>(width);
    }
  }
  rec.Len = static_cast<uint16_t>(at);
  return list;
}

// ---- Single fields ------------------------------------------------------------------

char *DefOffset(const TZFieldList &list, int32_t pos, int32_t &width, WRec &rec) {
  if (pos < 0 || static_cast<size_t>(pos) >= list.size())
    OutOfList(pos);
  const TZTabField &d = list[static_cast<size_t>(pos)];
  CheckInRecord(d, d.Length, rec, pos);
  width = d.Length;
  return rec.Data + d.Offset;
}

char *GetValuePack(const TZFieldList &list, const std::string &name, int32_t &pos, WRec &rec,
                   int32_t &width, int32_t &offset, bool &found) {
  int i = Lookup(list, name, pos);
  if (i < 0) {
    found = false;
    return nullptr;
  }
  const TZTabField &d = list[static_cast<size_t>(i)];
  int32_t w = IsTextKind(d.Type) ? d.Length : KindWidth(d.Type);
  CheckInRecord(d, w, rec, i);
  width = w;
  offset = d.Offset;
  found = true;
  return rec.Data + d.Offset;
}

void SetValue(TZFieldList &list, WRec &rec, const std::string &name, int32_t pos, const void *value,
              int32_t len) {
  size_t idx;
  if (!name.empty()) {
    int i = FindName(list, name);
    if (i < 0)
      Fail("Реквизит " + Cp1251ToUtf8(name) + " отсутствует в списке описаний");
    idx = static_cast<size_t>(i);
  } else {
    if (pos < 0 || static_cast<size_t>(pos) >= list.size())
      Fail("Номер реквизита " + std::to_string(pos) + " отсутствует в списке описаний");
    idx = static_cast<size_t>(pos);
  }
  TZTabField &d = list[idx];
  const int at = static_cast<int>(idx);

  if (!IsTextKind(d.Type)) {
    // Numbers keep their width: the descriptor's Length is copied, whatever len says.
    if (d.Length < 0 || d.Length > KindWidth(d.Type))
      Fail("Длина реквизита " + std::to_string(at) + " (" + std::to_string(d.Length) +
           ") не соответствует его виду " + std::to_string(static_cast<int>(d.Type)));
    CheckInRecord(d, d.Length, rec, at);
    if (d.Length > 0) {
      if (value == nullptr)
        Fail("Нет значения для реквизита " + std::to_string(at));
      std::memmove(rec.Data + d.Offset, value, static_cast<size_t>(d.Length));
    }
    return;
  }

  if (len < 0)
    Fail("Отрицательная длина значения реквизита " + std::to_string(at));
  if (len > 0 && value == nullptr)
    Fail("Нет значения для реквизита " + std::to_string(at));
  if (d.Type != tf_Text && len > 255)
    Fail("Короткий текст реквизита " + std::to_string(at) + " длиннее 255 байт (" +
         std::to_string(len) + ")");
  if (d.Type == tf_Text && len > 0x80FF)
    Fail("Текст реквизита " + std::to_string(at) + " слишком длинный (" + std::to_string(len) +
         " байт)");
  if (d.Offset < 2)
    Fail("Реквизит " + std::to_string(at) + " (смещение " + std::to_string(d.Offset) +
         ") не описывает текст записи");
  CheckInRecord(d, d.Length, rec, at);
  // The value may lie inside the record itself: take it before anything moves.
  std::string bytes(static_cast<const char *>(value == nullptr ? "" : value),
                    static_cast<size_t>(len));

  const int64_t diff = static_cast<int64_t>(len) - d.Length;
  if (diff != 0) {
    const int64_t newLen = static_cast<int64_t>(rec.Len) + diff;
    if (newLen > static_cast<int64_t>(BodyLimit(rec)))
      Fail("Запись с новым значением реквизита " + std::to_string(at) + " (" +
           std::to_string(newLen) + " байт) не помещается в буфер (" +
           std::to_string(BodyLimit(rec)) + " байт)");
    // The fields lie back to back: what follows this text starts right after it.
    const size_t tail = static_cast<size_t>(d.Offset) + static_cast<size_t>(d.Length);
    if (idx + 1 < list.size()) {
      std::memmove(rec.Data + tail + diff, rec.Data + tail, rec.Len - tail);
      for (size_t j = idx + 1; j < list.size(); ++j)
        list[j].Offset = static_cast<int32_t>(list[j].Offset + diff);
    }
    d.Length = len;
    char *prefix = rec.Data + d.Offset - 2;
    if (d.Type == tf_Text) {
      prefix[0] = static_cast<char>(len & 0xFF);
      prefix[1] = static_cast<char>(len >> 8);
    } else {
      prefix[0] = static_cast<char>(len);
    }
    rec.Len = static_cast<uint16_t>(newLen);
  }
  if (len > 0)
    std::memcpy(rec.Data + d.Offset, bytes.data(), bytes.size());
}

std::string GetValueUnPack(const TZFieldList &list, const std::string &name, int32_t &pos,
                           const WRec &rec, bool &found, bool blankZero) {
  int i = Lookup(list, name, pos);
  if (i < 0) {
    found = false;
    return std::string();
  }
  const TZTabField &d = list[static_cast<size_t>(i)];
  std::string text;
  if (IsTextKind(d.Type)) {
    if (d.Length > 0) {
      CheckInRecord(d, d.Length, rec, i);
      text.assign(rec.Data + d.Offset, static_cast<size_t>(d.Length));
      if (text[0] == WDelim4)
        text = GetTextLang(DataLang(), text);
    }
  } else if (d.Type >= tf_Char && d.Type <= tf_Date) {
    CheckInRecord(d, KindWidth(d.Type), rec, i);
    const char *p = rec.Data + d.Offset;
    text = d.Type == tf_Date ? UnPackDt1(Le16(p)) : NumberText(d.Type, p);
  }
  if (blankZero && text == "0" && d.Type != tf_Text && d.Type != tf_Char && d.Type != tf_Date)
    text.clear();
  found = true;
  return text;
}

// ---- Single values -----------------------------------------------------------------

const void *PackRk(uint8_t kind, const std::string &text, int32_t &len) {
  switch (kind) {
  case tf_Text:
  case tf_Text82:
  case tf_Text81:
    len = static_cast<int32_t>(text.size());
    return text.data();
  case tf_Char:
    Hold8 = text.empty() ? 0 : static_cast<uint8_t>(text[0]);
    return &Hold8;
  case tf_Small:
    Hold8 = text.empty() ? 0 : static_cast<uint8_t>(StrToInt(text) & 0xFF);
    return &Hold8;
  case tf_Word:
    Hold16 = text.empty() ? 0 : static_cast<uint16_t>(StrToInt(text) & 0xFFFF);
    return &Hold16;
  case tf_DWord:
  case tf_Integer:
    Hold32 = text.empty() ? 0 : static_cast<uint32_t>(StrToInt(text));
    return &Hold32;
  case tf_Real:
    HoldReal = DStrToFloat(text);
    return &HoldReal;
  case tf_Date:
    Hold16 = text.empty() ? 0 : PackDt1(text);
    return &Hold16;
  case tf_HiddenDW:
    Hold32 = 0;
    return &Hold32;
  default:
    return text.data();
  }
}

std::string UnPackRk(uint8_t kind, const void *value) {
  if (kind < tf_Char || kind > tf_HiddenDW)
    return LastUnPack;
  if (value == nullptr)
    Fail("Нет упакованного значения вида " + std::to_string(static_cast<int>(kind)));
  LastUnPack = NumberText(kind, value);
  return LastUnPack;
}

std::string DFloatToStr(double value) {
  if (std::isnan(value))
    return "NAN";
  if (std::isinf(value))
    return value < 0 ? "-INF" : "INF";
  double a = std::fabs(value);
  double scaled = a * 1e9;
  // Rounded half away from zero to 9 decimals; beyond the range of the scaled
  // value the number has no decimals worth rounding.
  double r = std::isfinite(scaled) ? std::floor(scaled + 0.5 + 1e-10) / 1e9 : a;
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, r, std::chars_format::fixed, 9);
  std::string s(buf, res.ptr);
  size_t dot = s.find('.');
  if (dot != std::string::npos) {
    s[dot] = ',';
    size_t last = s.find_last_not_of('0');
    s.erase(last == dot ? dot : last + 1);
  }
  // The sign is put back only on a value that did not round to zero.
  if (value < 0 && r != 0)
    s.insert(s.begin(), '-');
  return s;
}

double DStrToFloat(const std::string &text) {
  if (text.empty() || text == "-")
    return 0.0;
  // Grammar: blanks, sign, digits [',' digits], [e|E [sign] digits], blanks;
  // at least one digit in the mantissa. The comma is the only decimal separator.
  std::string ascii;
  size_t i = 0, n = text.size();
  while (i < n && text[i] == ' ')
    ++i;
  if (i < n && (text[i] == '-' || text[i] == '+')) {
    if (text[i] == '-')
      ascii += '-';
    ++i;
  }
  size_t mant = 0;
  for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i, ++mant)
    ascii += text[i];
  if (i < n && text[i] == ',') {
    ascii += '.';
    for (++i; i < n && text[i] >= '0' && text[i] <= '9'; ++i, ++mant)
      ascii += text[i];
  }
  bool ok = mant > 0;
  if (ok && i < n && (text[i] == 'e' || text[i] == 'E')) {
    ascii += 'e';
    ++i;
    if (i < n && (text[i] == '-' || text[i] == '+'))
      ascii += text[i++];
    size_t exp = 0;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i, ++exp)
      ascii += text[i];
    ok = exp > 0;
  }
  while (i < n && text[i] == ' ')
    ++i;
  double v = 0;
  if (ok && i == n) {
    auto res = std::from_chars(ascii.data(), ascii.data() + ascii.size(), v);
    ok = res.ec == std::errc() && res.ptr == ascii.data() + ascii.size();
  } else {
    ok = false;
  }
  if (!ok)
    Fail(Quoted(text) + " не является числом");
  return v;
}
