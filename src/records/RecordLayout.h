// Record layouts: field descriptor lists, the packing of records into
// in-memory structures and back, access to single fields of a packed record,
// and packed dates and times.
//
// A packed record is a sequence of fields with no names and no gaps; what each
// field is comes from an ordered descriptor list (TZFieldList), one TZTabField
// per field. Field kinds (TypeField) and their packed forms:
//
//   0      none           nothing
//   1      long text      u16 length L, then L bytes
//   2, 3   short text     u8 length L, marker 0x82 (kind 2) / 0x81 (kind 3), L bytes
//   4, 5   char / small   1 byte (5 is signed)
//   6, 10  word / date    2 bytes
//   7,8,11 dword / int    4 bytes (8 signed; 11 is a hidden double word)
//   9      real           8 bytes, IEEE 754 double
//   other  none           nothing (12..255 are passed over like 0)
//
// Readers tell the text forms apart by the field's second byte (0x81 or 0x82:
// short form) whatever the descriptor says; writers choose the form by the
// descriptor's kind alone. All numbers are little-endian.
//
// The in-memory structure is StructValue. It has exactly one member slot per
// descriptor of the list, at the descriptor's own position, so a position
// means the same in the list, in the structure and in the field operations.
// A slot holds either one text (kinds 1-3; std::string of raw Windows-1251
// bytes, owned by the structure) or the packed bytes of its kind's width
// (kinds 4-11; read and written through typed accessors, so reals keep their
// exact bits). Slots of kind 0 and above 11 hold nothing and are passed over
// by both walks. A structure is shaped from its list (StructValue(list),
// Reset, and RecStruct reshapes it), and StructRec refuses a structure whose
// shape does not match the list, so the walks and the structure cannot
// disagree.
//
// Damaged input is refused with ZError (code 0): a record shorter than its
// list, a text length that runs past the record, a short text longer than
// 255 bytes, output beyond the buffer's capacity. No operation reads or
// writes outside the record, the buffer or the structure.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Platform.h"

class WRec;
class WFile;

// The kind of a field: one byte. Any other code behaves like tf_None.
enum TypeField : uint8_t {
  tf_None = 0,
  tf_Text = 1,      // long text
  tf_Text82 = 2,    // short text, marker 0x82
  tf_Text81 = 3,    // short text, marker 0x81
  tf_Char = 4,      // one character
  tf_Small = 5,     // signed 8-bit number
  tf_Word = 6,      // unsigned 16-bit
  tf_DWord = 7,     // 32-bit, shown signed
  tf_Integer = 8,   // signed 32-bit
  tf_Real = 9,      // double
  tf_Date = 10,     // packed date, 16 bits
  tf_HiddenDW = 11, // 32-bit, never shown
};

// True for kinds 1 to 3.
bool IsTextKind(uint8_t kind);
// True for kinds 1 to 11: the kinds that occupy room in a record.
bool IsValueKind(uint8_t kind);
// Width in the packed record of kinds 4 to 11; 0 for texts and empty kinds.
int KindWidth(uint8_t kind);

// One field descriptor. Offset and Length describe one particular record:
// they are 0 until CreatStructRecord or CreatEmptyRec sets them. For a text,
// Offset is its first byte (after the length prefix) and Length its length.
struct TZTabField {
  std::string Name; // may be empty; matched byte for byte
  TypeField Type = tf_None;
  int32_t Offset = 0;
  int32_t Length = 0;
};

// An ordered descriptor list: a descriptor's position (from 0) is its field's number.
using TZFieldList = std::vector<TZTabField>;

// One member slot of an in-memory structure.
struct FieldValue {
  TypeField Kind = tf_None;
  std::string Text;             // kinds 1-3
  std::array<uint8_t, 8> Raw{}; // kinds 4-11: the packed bytes, KindWidth(Kind) of them
};

// The in-memory structure of a list (see above). Typed accessors take the
// descriptor position and throw ZError when the position is outside the
// structure or the slot is of another kind:
//   GetText/SetText  kinds 1-3        GetWord/SetWord   kinds 6, 10
//   GetByte/SetByte  kinds 4, 5       GetDword/SetDword kinds 7, 8, 11 (GetInt: signed)
//   GetSmall         kinds 4, 5       GetReal/SetReal   kind 9
class StructValue {
public:
  StructValue() = default;
  explicit StructValue(const TZFieldList &list) { Reset(list); }

  // One slot per descriptor, every value zero or empty.
  void Reset(const TZFieldList &list);
  // True when the slots have the list's length and each slot holds what its
  // descriptor's kind needs (any text kind for a text, the same width otherwise).
  bool Matches(const TZFieldList &list) const;

  size_t Size() const { return members_.size(); }
  const std::vector<FieldValue> &Members() const { return members_; }
  TypeField Kind(size_t pos) const;

  const std::string &GetText(size_t pos) const;
  void SetText(size_t pos, std::string text);
  uint8_t GetByte(size_t pos) const;
  int8_t GetSmall(size_t pos) const;
  void SetByte(size_t pos, uint8_t v);
  uint16_t GetWord(size_t pos) const;
  void SetWord(size_t pos, uint16_t v);
  uint32_t GetDword(size_t pos) const;
  int32_t GetInt(size_t pos) const;
  void SetDword(size_t pos, uint32_t v);
  void SetInt(size_t pos, int32_t v) { SetDword(pos, static_cast<uint32_t>(v)); }
  double GetReal(size_t pos) const;
  void SetReal(size_t pos, double v);
  // Copies KindWidth(Kind(pos)) packed bytes into a slot of kinds 4-11 (texts: nothing).
  void SetRaw(size_t pos, const uint8_t *bytes);

private:
  const FieldValue &Slot(size_t pos, int width, bool text) const;
  FieldValue &Slot(size_t pos, int width, bool text);
  std::vector<FieldValue> members_;
};

// ---- Whole-record walks --------------------------------------------------

// Unpacks a packed record into s, reshaping s to the list. A text that begins
// with the byte 0x04 keeps only its part for the configured data language.
// Throws ZError when the record (rec.Len bytes, or bytes.size()) is shorter
// than the list needs; s is then left unchanged.
void RecStruct(const TZFieldList &list, const WRec &rec, StructValue &s);
void RecStruct(const TZFieldList &list, std::span<const uint8_t> bytes, StructValue &s);
void RecStruct(const TZFieldList &list, std::string_view bytes, StructValue &s);

// Packs s into rec.Data: rec.Len becomes the packed length, rec.Flag the flag;
// rec.Next is left unchanged. Throws ZError, leaving rec unchanged, when s
// does not match the list, a short text is longer than 255 bytes, or the
// packed record would exceed the buffer's capacity.
void StructRec(const TZFieldList &list, const StructValue &s, WRec &rec, uint8_t flag);
// Packs s into out and returns the packed length; the same refusals, with
// out.size() as the capacity.
size_t StructRec(const TZFieldList &list, const StructValue &s, std::span<char> out);
// Packs s into a new byte string.
std::string StructRec(const TZFieldList &list, const StructValue &s);

// ---- Descriptor building -------------------------------------------------

// The program-wide descriptor file handle: empty unless a caller sets it (the
// caller owns the file). CreatDefRecord opens "CFG#Boib.sfr" itself when it is empty.
extern WFile *Boib;

// Appends to list one descriptor (name, kind, Offset 0, Length 0) per record
// of logical file n of the descriptor file, skipping its first two records.
// Every failure of the file reaches the caller; descriptors appended before it stay.
void CreatDefRecord(int32_t n, TZFieldList &list, WRec &rec);

// Sets Offset and Length of every descriptor from the record in rec; a text
// descriptor takes kind 3 or 2 when the record holds that short form. Stops
// quietly where the record ends or is damaged, leaving the rest unchanged.
void CreatStructRecord(TZFieldList &list, const WRec &rec);

// Makes rec an empty record of the list (texts empty, numbers 0; Next EmptyAdr,
// Flag flag) and sets every descriptor's Offset and Length. Throws ZError when
// the empty record would not fit into the buffer.
TZFieldList &CreatEmptyRec(TZFieldList &list, WRec &rec, uint8_t flag);

// ---- Single fields of a packed record --------------------------------------
// Name-or-position lookup: a non-empty name selects the first descriptor with
// that Name; GetValuePack and GetValueUnPack also search by name when pos is
// negative, and store the found position in pos. Otherwise pos is used. A
// position outside the list throws ZError ("List index out of bounds (N)").
// The descriptors' Offset and Length must describe the record; a field that
// would lie outside the record throws ZError.

// Address of the field's value in rec.Data; width receives the descriptor's Length.
char *DefOffset(const TZFieldList &list, int32_t pos, int32_t &width, WRec &rec);

// Address of the field's value, or nullptr (found false) when the name is not
// in the list. width: Length for texts, the kind's width otherwise.
char *GetValuePack(const TZFieldList &list, const std::string &name, int32_t &pos, WRec &rec,
                   int32_t &width, int32_t &offset, bool &found);

// Replaces one field's value. A text of another length moves the fields after
// it and keeps every later Offset, the field's Length and rec.Len current;
// other kinds copy their own width (Length) from value, whatever len says.
// Throws ZError, changing nothing, for a name not in the list ("Реквизит " +
// name + " отсутствует в списке описаний"), a position outside it ("Номер
// реквизита N отсутствует в списке описаний"), a short text over 255 bytes, a
// record that would exceed the buffer's capacity, or descriptors that do not
// describe the record.
void SetValue(TZFieldList &list, WRec &rec, const std::string &name, int32_t pos, const void *value,
              int32_t len);

// The display text of one field: a text (a bilingual one reduced to the data
// language), a one-character text (4), decimal numbers (5-8; 6 unsigned), a
// real by DFloatToStr (9), DD.MM.YYYY (10), the empty text (0, 11, others);
// found false and the empty text when the name is not in the list. With
// blankZero a text exactly "0" becomes empty, except for kinds 1, 4 and 10.
std::string GetValueUnPack(const TZFieldList &list, const std::string &name, int32_t &pos,
                           const WRec &rec, bool &found, bool blankZero);

// ---- Single values ----------------------------------------------------------

// Display text to packed value. Texts (kinds 1-3): the text's own bytes, len =
// its length. Kinds 4-11: the address of a module holder of the kind's width
// (valid until the next call; len is not set). Other kinds: the text's bytes.
// Throws ZError when the text is not a number of the kind.
const void *PackRk(uint8_t kind, const std::string &text, int32_t &len);
// Packed value (kinds 4-11) to display text; kind 10 gives the empty text.
// For other kinds the previous result is given back.
std::string UnPackRk(uint8_t kind, const void *value);

// A real as text: rounded half away from zero to 9 decimals, decimal comma,
// trailing zeros (and a bare comma) dropped: 2.5 -> "2,5", 3.0 -> "3".
std::string DFloatToStr(double value);
// Text to real with the decimal comma; "" and "-" give 0. Throws ZError when
// the text is not a number.
double DStrToFloat(const std::string &text);

// ---- Packed dates and times -------------------------------------------------
// Packed date (16 bits): day bits 0-4, month bits 5-8, year offset bits 9-15
// (year - 2000 from 2000 on, year - 1900 before; an offset below 90 reads as
// 2000 + offset, any other as 1900 + offset). Packed time (16 bits): seconds/2
// bits 0-4, minutes bits 5-10, hours bits 11-15. Packed date and time (32
// bits): date in bits 16-31, time in bits 0-15; a zero time means no time.

uint16_t PackDate_2b(int day, int month, int year);
std::string UnPackDt1(uint16_t date); // DD.MM.YYYY
// Characters 1-2 day, 4-5 month, 7-10 year; throws ZError when one is not a number.
uint16_t PackDt1(const std::string &text);

// The clock of the operations below; tests replace it. An empty function
// restores the system's local clock (platform::LocalNow).
void SetLocalClock(std::function<platform::LocalTime()> clock);
platform::LocalTime LocalClockNow();

uint16_t PackDateCurrent();
void PackCurDateTime(uint16_t &date, uint16_t &time);
uint32_t PackCurDateTime();
std::string CurDateTime();            // DD.MM.YYYY/HH.MM
std::string UnPackDt2(uint32_t dt);   // DD.MM.YYYY, then /HH.MM.SS when the time is not 0
std::string UnPackDt3(uint16_t date); // DD.MM.YY (the year offset itself)

// Parses day.month.year (runs of digits; anything after the year is not looked
// at). Returns 0 when valid and sets packed; 1 otherwise. day, month and year
// keep what was read even then. February has 29 days in years divisible by 4;
// a year below 100 is widened (below 90: 2000+, else 1900+). With allowZero the
// text "00.00.2000" reads as "01.01.2000".
int CheckDate(const std::string &text, int &day, int &month, int &year, uint16_t &packed,
              bool allowZero);
