// Field kinds, the in-memory structure and the two whole-record walks.
#include "RecordLayout.h"

#include <algorithm>
#include <cstring>

#include "BilingualText.h"
#include "Messages.h"
#include "RecordBuffer.h"

namespace {

// Marker bytes of the two short text forms (second byte of the field).
constexpr uint8_t ShortMark82 = 0x82;
constexpr uint8_t ShortMark81 = 0x81;
constexpr size_t ShortTextMax = 255;
// A long text's length must keep its high byte below the short markers, or
// readers would take it for a short text.
constexpr size_t LongTextMax = 0x80FF;

[[noreturn]] void Fail(const std::string &text) {
  throw ZError(text, 0);
}

std::string Pos(size_t pos) {
  return std::to_string(pos);
}

// Slot class: texts are interchangeable among themselves, the other kinds by width.
bool SameShape(uint8_t a, uint8_t b) {
  if (IsTextKind(a) || IsTextKind(b))
    return IsTextKind(a) && IsTextKind(b);
  return KindWidth(a) == KindWidth(b);
}

const char *KindGroup(int width, bool text) {
  if (text)
    return "текст";
  switch (width) {
  case 1:
    return "1 байт";
  case 2:
    return "2 байта";
  case 4:
    return "4 байта";
  default:
    return "вещественное";
  }
}

// Packed size of one field of s, with the refusals of the writers.
size_t FieldPackedSize(const TZTabField &d, const FieldValue &v, size_t pos) {
  if (IsTextKind(d.Type)) {
    size_t n = v.Text.size();
    if (d.Type != tf_Text && n > ShortTextMax)
      Fail("Короткий текст реквизита " + Pos(pos) + " длиннее 255 байт (" + std::to_string(n) +
           ")");
    if (d.Type == tf_Text && n > LongTextMax)
      Fail("Текст реквизита " + Pos(pos) + " слишком длинный (" + std::to_string(n) + " байт)");
    return 2 + n;
  }
  return static_cast<size_t>(KindWidth(d.Type));
}

size_t PackedSize(const TZFieldList &list, const StructValue &s) {
  if (!s.Matches(list))
    Fail("Структура не соответствует списку описаний реквизитов");
  size_t total = 0;
  for (size_t i = 0; i < list.size(); ++i)
    total += FieldPackedSize(list[i], s.Members()[i], i);
  return total;
}

// Writes the packed record; the caller has checked that `size` bytes fit.
void PackInto(const TZFieldList &list, const StructValue &s, char *out) {
  char *w = out;
  for (size_t i = 0; i < list.size(); ++i) {
    const TZTabField &d = list[i];
    const FieldValue &v = s.Members()[i];
    if (IsTextKind(d.Type)) {
      size_t n = v.Text.size();
      if (d.Type == tf_Text) {
        w[0] = static_cast<char>(n & 0xFF);
        w[1] = static_cast<char>(n >> 8);
      } else {
        w[0] = static_cast<char>(n);
        w[1] = static_cast<char>(d.Type == tf_Text82 ? ShortMark82 : ShortMark81);
      }
      if (n != 0)
        std::memcpy(w + 2, v.Text.data(), n);
      w += 2 + n;
    } else if (int width = KindWidth(d.Type); width > 0) {
      std::memcpy(w, v.Raw.data(), static_cast<size_t>(width));
      w += width;
    }
  }
}

} // namespace

bool IsTextKind(uint8_t kind) {
  return kind >= tf_Text && kind <= tf_Text81;
}

bool IsValueKind(uint8_t kind) {
  return kind >= tf_Text && kind <= tf_HiddenDW;
}

int KindWidth(uint8_t kind) {
  switch (kind) {
  case tf_Char:
  case tf_Small:
    return 1;
  case tf_Word:
  case tf_Date:
    return 2;
  case tf_DWord:
  case tf_Integer:
  case tf_HiddenDW:
    return 4;
  case tf_Real:
    return 8;
  default:
    return 0;
  }
}

// ---- StructValue ------------------------------------------------------------

void StructValue::Reset(const TZFieldList &list) {
  members_.assign(list.size(), FieldValue{});
  for (size_t i = 0; i < list.size(); ++i)
    members_[i].Kind = list[i].Type;
}

bool StructValue::Matches(const TZFieldList &list) const {
  if (members_.size() != list.size())
    return false;
  for (size_t i = 0; i < list.size(); ++i)
    if (!SameShape(members_[i].Kind, list[i].Type))
      return false;
  return true;
}

TypeField StructValue::Kind(size_t pos) const {
  if (pos >= members_.size())
    Fail("Номер реквизита " + Pos(pos) + " отсутствует в структуре");
  return members_[pos].Kind;
}

const FieldValue &StructValue::Slot(size_t pos, int width, bool text) const {
  if (pos >= members_.size())
    Fail("Номер реквизита " + Pos(pos) + " отсутствует в структуре");
  const FieldValue &v = members_[pos];
  bool ok = text ? IsTextKind(v.Kind) : (!IsTextKind(v.Kind) && KindWidth(v.Kind) == width);
  if (!ok)
    Fail("Реквизит " + Pos(pos) + " структуры не " + KindGroup(width, text) + " (вид " +
         std::to_string(static_cast<int>(v.Kind)) + ")");
  return v;
}

FieldValue &StructValue::Slot(size_t pos, int width, bool text) {
  return const_cast<FieldValue &>(std::as_const(*this).Slot(pos, width, text));
}

const std::string &StructValue::GetText(size_t pos) const {
  return Slot(pos, 0, true).Text;
}

void StructValue::SetText(size_t pos, std::string text) {
  Slot(pos, 0, true).Text = std::move(text);
}

uint8_t StructValue::GetByte(size_t pos) const {
  return Slot(pos, 1, false).Raw[0];
}

int8_t StructValue::GetSmall(size_t pos) const {
  return static_cast<int8_t>(GetByte(pos));
}

void StructValue::SetByte(size_t pos, uint8_t v) {
  Slot(pos, 1, false).Raw[0] = v;
}

uint16_t StructValue::GetWord(size_t pos) const {
  const auto &r = Slot(pos, 2, false).Raw;
  return static_cast<uint16_t>(r[0] | (r[1] << 8));
}

void StructValue::SetWord(size_t pos, uint16_t v) {
  auto &r = Slot(pos, 2, false).Raw;
  r[0] = static_cast<uint8_t>(v);
  r[1] = static_cast<uint8_t>(v >> 8);
}

uint32_t StructValue::GetDword(size_t pos) const {
  const auto &r = Slot(pos, 4, false).Raw;
  return static_cast<uint32_t>(r[0]) | (static_cast<uint32_t>(r[1]) << 8) |
         (static_cast<uint32_t>(r[2]) << 16) | (static_cast<uint32_t>(r[3]) << 24);
}

int32_t StructValue::GetInt(size_t pos) const {
  return static_cast<int32_t>(GetDword(pos));
}

void StructValue::SetDword(size_t pos, uint32_t v) {
  auto &r = Slot(pos, 4, false).Raw;
  for (int i = 0; i < 4; ++i)
    r[i] = static_cast<uint8_t>(v >> (8 * i));
}

void StructValue::SetRaw(size_t pos, const uint8_t *bytes) {
  if (pos >= members_.size())
    Fail("Номер реквизита " + Pos(pos) + " отсутствует в структуре");
  FieldValue &v = members_[pos];
  if (int width = KindWidth(v.Kind); width > 0)
    std::memcpy(v.Raw.data(), bytes, static_cast<size_t>(width));
}

double StructValue::GetReal(size_t pos) const {
  const auto &r = Slot(pos, 8, false).Raw;
  uint64_t bits = 0;
  for (int i = 7; i >= 0; --i)
    bits = (bits << 8) | r[i];
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

void StructValue::SetReal(size_t pos, double v) {
  auto &r = Slot(pos, 8, false).Raw;
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  for (int i = 0; i < 8; ++i)
    r[i] = static_cast<uint8_t>(bits >> (8 * i));
}

// ---- RecStruct ----------------------------------------------------------------

void RecStruct(const TZFieldList &list, std::span<const uint8_t> bytes, StructValue &s) {
  // Built aside and moved in at the end, so a refused record leaves s as it was.
  StructValue out(list);
  const uint8_t *p = bytes.data();
  const size_t size = bytes.size();
  size_t at = 0;
  for (size_t i = 0; i < list.size(); ++i) {
    const uint8_t kind = list[i].Type;
    if (IsTextKind(kind)) {
      if (size - at < 2)
        Fail("Запись короче списка описаний: нет длины текста реквизита " + Pos(i) + " (смещение " +
             std::to_string(at) + ", длина записи " + std::to_string(size) + ")");
      size_t n;
      if (p[at + 1] == ShortMark81 || p[at + 1] == ShortMark82)
        n = p[at];
      else
        n = static_cast<size_t>(p[at]) | (static_cast<size_t>(p[at + 1]) << 8);
      at += 2;
      if (size - at < n)
        Fail("Длина текста реквизита " + Pos(i) + " (" + std::to_string(n) +
             " байт) выходит за конец записи (смещение " + std::to_string(at) + ", длина записи " +
             std::to_string(size) + ")");
      std::string text(reinterpret_cast<const char *>(p + at), n);
      if (n != 0 && text[0] == WDelim4)
        text = GetTextLang(DataLang(), text);
      out.SetText(i, std::move(text));
      at += n;
    } else if (int width = KindWidth(kind); width > 0) {
      if (size - at < static_cast<size_t>(width))
        Fail("Запись короче списка описаний: реквизит " + Pos(i) + " (смещение " +
             std::to_string(at) + ", " + std::to_string(width) + " байт, длина записи " +
             std::to_string(size) + ")");
      out.SetRaw(i, p + at);
      at += static_cast<size_t>(width);
    }
  }
  s = std::move(out);
}

void RecStruct(const TZFieldList &list, std::string_view bytes, StructValue &s) {
  RecStruct(list,
            std::span<const uint8_t>(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size()),
            s);
}

void RecStruct(const TZFieldList &list, const WRec &rec, StructValue &s) {
  size_t len = std::min<size_t>(rec.Len, static_cast<size_t>(std::max(rec.Capacity(), 0)));
  RecStruct(list, std::string_view(rec.Data, len), s);
}

// ---- StructRec ------------------------------------------------------------------

size_t StructRec(const TZFieldList &list, const StructValue &s, std::span<char> out) {
  size_t size = PackedSize(list, s);
  if (size > out.size())
    Fail("Упакованная запись (" + std::to_string(size) + " байт) не помещается в буфер (" +
         std::to_string(out.size()) + " байт)");
  PackInto(list, s, out.data());
  return size;
}

void StructRec(const TZFieldList &list, const StructValue &s, WRec &rec, uint8_t flag) {
  // Len is 16 bits wide: a larger buffer still holds at most 0xFFFF bytes of body.
  size_t cap = std::min<size_t>(static_cast<size_t>(std::max(rec.Capacity(), 0)), 0xFFFF);
  size_t size = StructRec(list, s, std::span<char>(rec.Data, cap));
  rec.Len = static_cast<uint16_t>(size);
  rec.Flag = flag;
}

std::string StructRec(const TZFieldList &list, const StructValue &s) {
  std::string out(PackedSize(list, s), '\0');
  PackInto(list, s, out.data());
  return out;
}
