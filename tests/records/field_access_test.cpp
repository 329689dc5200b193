// Descriptors from records, empty records and single fields of packed records.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Messages.h"
#include "RecordBuffer.h"
#include "RecordBytes.h"
#include "RecordLayout.h"

using namespace recbytes;

namespace {

TZFieldList Named(std::initializer_list<std::pair<const char *, int>> fields) {
  TZFieldList l;
  for (const auto &[name, kind] : fields)
    l.push_back(TZTabField{name, static_cast<TypeField>(kind), 0, 0});
  return l;
}

std::string Message(const std::function<void()> &f) {
  try {
    f();
  } catch (const ZError &e) {
    EXPECT_EQ(e.HelpContext, 0);
    return e.Message;
  }
  ADD_FAILURE() << "no ZError";
  return "";
}

struct Place {
  int type, offset, length;
  bool operator==(const Place &) const = default;
};
std::vector<Place> Places(const TZFieldList &l) {
  std::vector<Place> v;
  for (const auto &d : l)
    v.push_back({d.Type, d.Offset, d.Length});
  return v;
}

} // namespace

TEST(CreatStructRecord, SetsPlacesAndTakesTheStoredTextForm) {
  TZFieldList l = List({1, 1, 2, 3, 0, 8, 9, 13, 4, 10});
  WRec r;
  Fill(r,
       Long("ab") + Short81("xyz") + Short82("") + Long("long") + U32(1) + Real(2) + "c" + U16(33));
  CreatStructRecord(l, r);
  std::vector<Place> expect = {{1, 2, 2},  {3, 6, 3},  {2, 11, 0}, {3, 13, 4}, {0, 0, 0},
                               {8, 17, 4}, {9, 21, 8}, {13, 0, 0}, {4, 29, 1}, {10, 30, 2}};
  EXPECT_EQ(Places(l), expect);
}

TEST(CreatStructRecord, StopsQuietlyWhereTheRecordEnds) {
  const std::string full = U16(7) + Long("abcdef") + U32(9);
  for (size_t n : {0, 1, 2, 3, 5, 9, 11}) {
    SCOPED_TRACE(n);
    TZFieldList l = List({6, 1, 7});
    for (auto &d : l)
      d.Offset = d.Length = -5;
    WRec r;
    Fill(r, full);
    r.Len = static_cast<uint16_t>(n);
    CreatStructRecord(l, r);
    // only fields lying wholly inside the record get their places
    EXPECT_EQ(l[0].Offset, n >= 2 ? 0 : -5);
    EXPECT_EQ(l[1].Offset, n >= 10 ? 4 : -5);
    EXPECT_EQ(l[1].Length, n >= 10 ? 6 : -5);
    EXPECT_EQ(l[2].Offset, -5);
  }
}

TEST(CreatEmptyRec, EmptyListGivesAnEmptyRecord) {
  TZFieldList l;
  WRec r;
  Fill(r, "junk");
  r.Next = 5;
  EXPECT_EQ(&CreatEmptyRec(l, r, 0x41), &l);
  EXPECT_EQ(r.Len, 0);
  EXPECT_EQ(r.Flag, 0x41);
  EXPECT_EQ(r.Next, 0xFFFFFFFFu);
}

TEST(CreatEmptyRec, WritesEmptyTextsAndZerosAndTheirPlaces) {
  TZFieldList l = List({1, 2, 3, 0, 4, 6, 8, 9, 200});
  l[3].Offset = 99; // descriptors without room are left alone
  WRec r;
  std::memset(r.Data, 0x55, 64);
  CreatEmptyRec(l, r, 0);
  EXPECT_EQ(Body(r), std::string("\0\0\0\x82\0\x81", 6) + std::string(1 + 2 + 4 + 8, '\0'));
  std::vector<Place> expect = {{1, 2, 0}, {2, 4, 0}, {3, 6, 0},  {0, 99, 0}, {4, 6, 1},
                               {6, 7, 2}, {8, 9, 4}, {9, 13, 8}, {200, 0, 0}};
  EXPECT_EQ(Places(l), expect);
  // the empty record is one of its list
  StructValue s;
  RecStruct(l, r, s);
  EXPECT_EQ(StructRec(l, s), Body(r));
}

TEST(CreatEmptyRec, RecordLargerThanTheBufferIsRefused) {
  TZFieldList l = List({9, 9, 1});
  WRec r(17);
  Fill(r, "abc");
  EXPECT_THROW(CreatEmptyRec(l, r, 1), ZError);
  EXPECT_EQ(Body(r), "abc");
  EXPECT_EQ(l[2].Offset, 0);
  WRec fits(18);
  CreatEmptyRec(l, fits, 1);
  EXPECT_EQ(fits.Len, 18);
}

TEST(DefOffset, GivesTheValueAddressAndWidth) {
  TZFieldList l = List({1, 8});
  WRec r;
  Fill(r, Long("abc") + U32(0x01020304));
  CreatStructRecord(l, r);
  int32_t width = -1;
  EXPECT_EQ(DefOffset(l, 0, width, r), r.Data + 2);
  EXPECT_EQ(width, 3);
  EXPECT_EQ(DefOffset(l, 1, width, r), r.Data + 5);
  EXPECT_EQ(width, 4);
  EXPECT_EQ(Message([&] { DefOffset(l, 2, width, r); }), "List index out of bounds (2)");
  EXPECT_THROW(DefOffset(l, -1, width, r), ZError);
  l[1].Offset = 6; // no longer inside the 9-byte record
  EXPECT_THROW(DefOffset(l, 1, width, r), ZError);
}

TEST(GetValuePack, FindsByNameOrPosition) {
  TZFieldList l = Named({{"A", 1}, {"", 9}, {"B", 5}, {"", 0}, {"a", 6}});
  WRec r;
  Fill(r, Long("xy") + Real(1) + "\x07" + U16(3));
  CreatStructRecord(l, r);
  struct Case {
    const char *name;
    int32_t pos;
    int32_t expectPos, width, offset;
  } cases[] = {
      {"A", 4, 0, 2, 2},                      // a name wins over the position
      {"a", 0, 4, 2, 13},                     // names match with case counting
      {"B", -1, 2, 1, 12}, {"", -7, 1, 8, 4}, // negative position: the first empty name
      {"", 3, 3, 0, 0},                       // a kind without room has width 0
      {"", 2, 2, 1, 12},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.pos));
    int32_t pos = c.pos, width = -1, offset = -1;
    bool found = false;
    char *p = GetValuePack(l, c.name, pos, r, width, offset, found);
    EXPECT_TRUE(found);
    EXPECT_EQ(pos, c.expectPos);
    EXPECT_EQ(width, c.width);
    EXPECT_EQ(offset, c.offset);
    EXPECT_EQ(p, r.Data + c.offset);
  }
  int32_t pos = 1, width = -1, offset = -1;
  bool found = true;
  EXPECT_EQ(GetValuePack(l, "C", pos, r, width, offset, found), nullptr);
  EXPECT_FALSE(found);
  EXPECT_EQ(pos, 1);
  pos = 5;
  EXPECT_THROW(GetValuePack(l, "", pos, r, width, offset, found), ZError);
}

// ---- SetValue --------------------------------------------------------------------------

class SetValueTest : public ::testing::Test {
protected:
  // Four fields with a text in the middle and a text at the end.
  TZFieldList l = Named({{"N", 8}, {"MID", 1}, {"W", 6}, {"S", 3}, {"LAST", 1}});
  WRec r;
  void SetUp() override {
    Fill(r, U32(11) + Long("middle") + U16(22) + Short81("s") + Long("end"));
    CreatStructRecord(l, r);
  }
  // The record must still be one of its list, with the places SetValue keeps.
  void ExpectConsistent() {
    TZFieldList fresh = List({8, 1, 6, 3, 1});
    CreatStructRecord(fresh, r);
    EXPECT_EQ(Places(fresh), Places(l));
    StructValue s;
    RecStruct(l, r, s);
    EXPECT_EQ(StructRec(l, s), Body(r));
  }
};

TEST_F(SetValueTest, GrowingAMiddleTextMovesTheLaterFields) {
  SetValue(l, r, "MID", 0, "a longer text", 13);
  EXPECT_EQ(Body(r), U32(11) + Long("a longer text") + U16(22) + Short81("s") + Long("end"));
  EXPECT_EQ(l[1].Length, 13);
  EXPECT_EQ(l[2].Offset, 6 + 13);
  EXPECT_EQ(l[4].Offset, 6 + 13 + 2 + 3 + 2);
  ExpectConsistent();
}

TEST_F(SetValueTest, ShrinkingAMiddleTextMovesTheLaterFieldsBack) {
  SetValue(l, r, "", 1, "m", 1);
  EXPECT_EQ(Body(r), U32(11) + Long("m") + U16(22) + Short81("s") + Long("end"));
  EXPECT_EQ(l[2].Offset, 7);
  ExpectConsistent();
  SetValue(l, r, "MID", 0, nullptr, 0);
  EXPECT_EQ(Body(r), U32(11) + Long("") + U16(22) + Short81("s") + Long("end"));
  ExpectConsistent();
}

TEST_F(SetValueTest, ShortTextKeepsItsMarker) {
  SetValue(l, r, "S", 0, "four", 4);
  EXPECT_EQ(Body(r), U32(11) + Long("middle") + U16(22) + Short81("four") + Long("end"));
  ExpectConsistent();
}

TEST_F(SetValueTest, TheLastTextChangesOnlyItsPrefixLengthAndTheRecordLength) {
  std::vector<Place> before = Places(l);
  SetValue(l, r, "LAST", 0, "the end", 7);
  EXPECT_EQ(Body(r), U32(11) + Long("middle") + U16(22) + Short81("s") + Long("the end"));
  SetValue(l, r, "LAST", 0, "e", 1);
  EXPECT_EQ(Body(r), U32(11) + Long("middle") + U16(22) + Short81("s") + Long("e"));
  before[4].length = 1;
  EXPECT_EQ(Places(l), before);
  ExpectConsistent();
}

TEST_F(SetValueTest, NumbersCopyTheirOwnWidthWhateverLengthIsGiven) {
  const char value[8] = {0x78, 0x56, 0x34, 0x12, 'x', 'x', 'x', 'x'};
  SetValue(l, r, "N", 0, value, 1);
  SetValue(l, r, "W", 0,
           "\x01\x02"
           "zzz",
           5);
  EXPECT_EQ(Body(r), U32(0x12345678) + Long("middle") + U16(0x0201) + Short81("s") + Long("end"));
  ExpectConsistent();
}

TEST_F(SetValueTest, ValueTakenFromTheRecordItselfSurvivesTheMove) {
  // "end" lies after MID and moves while MID grows
  SetValue(l, r, "MID", 0, r.Data + l[4].Offset - 2, 5);
  EXPECT_EQ(Body(r), U32(11) + Long(Long("end")) + U16(22) + Short81("s") + Long("end"));
}

TEST_F(SetValueTest, RefusalsChangeNothing) {
  const std::string body = Body(r);
  const std::vector<Place> places = Places(l);
  struct Case {
    const char *what;
    std::function<void()> call;
    const char *message; // exact, when the text fixes it
  } cases[] = {
      {"unknown name", [&] { SetValue(l, r, "NOPE", 0, "x", 1); },
       "Реквизит NOPE отсутствует в списке описаний"},
      {"position past the list", [&] { SetValue(l, r, "", 5, "x", 1); },
       "Номер реквизита 5 отсутствует в списке описаний"},
      {"negative position", [&] { SetValue(l, r, "", -1, "x", 1); },
       "Номер реквизита -1 отсутствует в списке описаний"},
      {"short text over 255", [&] { SetValue(l, r, "S", 0, std::string(256, 'q').data(), 256); },
       nullptr},
      {"beyond the capacity",
       [&] {
         std::string big(UseLenRec, 'b');
         SetValue(l, r, "MID", 0, big.data(), UseLenRec - static_cast<int>(body.size()) + 7);
       },
       nullptr},
      {"place outside the record",
       [&] {
         TZFieldList bad = l;
         bad[1].Length = 500;
         SetValue(bad, r, "MID", 0, "x", 1);
       },
       nullptr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::string m = Message(c.call);
    if (c.message) {
      EXPECT_EQ(m, c.message);
    }
    EXPECT_EQ(Body(r), body);
    EXPECT_EQ(Places(l), places);
  }
  // exactly the capacity still fits
  std::string big(UseLenRec, 'b');
  SetValue(l, r, "MID", 0, big.data(), UseLenRec - static_cast<int>(body.size()) + 6);
  EXPECT_EQ(r.Len, UseLenRec);
  ExpectConsistent();
}

// ---- Display texts ---------------------------------------------------------------------

TEST(GetValueUnPack, DisplayTextOfEveryKind) {
  struct Case {
    int kind;
    std::string packed;
    std::string text;
  } cases[] = {
      {1, Long("text"), "text"},
      {2, Short82("short"), "short"},
      {3, Short81(""), ""},
      {4, "Z", "Z"},
      {5, U8(0xFF), "-1"},
      {6, U16(65535), "65535"},
      {7, U32(0xFFFFFFFF), "-1"},
      {8, U32(0x80000000), "-2147483648"},
      {9, Real(2.5), "2,5"},
      {9, Real(-3.0), "-3"},
      {9, Real(0.1234567891), "0,123456789"},
      {10, U16(33), "01.01.2000"},
      {11, U32(12345), ""},
      {0, "", ""},
      {12, "", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.kind);
    TZFieldList l = List({6, c.kind, 6});
    WRec r;
    Fill(r, U16(1) + c.packed + U16(2));
    CreatStructRecord(l, r);
    int32_t pos = 1;
    bool found = false;
    EXPECT_EQ(GetValueUnPack(l, "", pos, r, found, false), c.text);
    EXPECT_TRUE(found);
  }
}

TEST(GetValueUnPack, BlankZeroRule) {
  struct Case {
    int kind;
    std::string packed;
    std::string shown;
  } cases[] = {
      {9, Real(0.0), ""}, {9, Real(-1e-12), ""},      {5, U8(0), ""},        {6, U16(0), ""},
      {8, U32(0), ""},    {3, Short81("0"), ""},      {2, Short82("0"), ""}, {1, Long("0"), "0"},
      {4, "0", "0"},      {10, U16(0), "00.00.2000"}, {8, U32(10), "10"},    {1, Long("00"), "00"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.kind) + " " + c.shown);
    TZFieldList l = List({c.kind});
    WRec r;
    Fill(r, c.packed);
    CreatStructRecord(l, r);
    int32_t pos = 0;
    bool found = false;
    EXPECT_EQ(GetValueUnPack(l, "", pos, r, found, true), c.shown);
  }
}

TEST(GetValueUnPack, BilingualNameLookupAndMissingName) {
  DataLangScope lang(1);
  TZFieldList l = Named({{"T", 1}, {"V", 8}});
  WRec r;
  Fill(r, Long("\x04rus\x05ukr") + U32(5));
  CreatStructRecord(l, r);
  int32_t pos = -1;
  bool found = false;
  EXPECT_EQ(GetValueUnPack(l, "T", pos, r, found, false), "rus");
  EXPECT_EQ(pos, 0);
  EXPECT_EQ(GetValueUnPack(l, "V", pos, r, found, false), "5");
  EXPECT_EQ(pos, 1);
  EXPECT_EQ(GetValueUnPack(l, "X", pos, r, found, false), "");
  EXPECT_FALSE(found);
  pos = 2;
  EXPECT_THROW(GetValueUnPack(l, "", pos, r, found, false), ZError);
  l[1].Offset = 100; // a place outside the record is refused, not read
  pos = 1;
  EXPECT_THROW(GetValueUnPack(l, "", pos, r, found, false), ZError);
}

// ---- Single values -----------------------------------------------------------------------

TEST(PackRk, DisplayTextToPackedValue) {
  struct Case {
    int kind;
    std::string text;
    std::string packed;
  } cases[] = {
      {4, "Qx", "Q"},
      {4, "", U8(0)},
      {5, "-1", U8(0xFF)},
      {5, "300", U8(44)}, // low 8 bits
      {5, "", U8(0)},
      {6, "65537", U16(1)},
      {6, "  12", U16(12)},
      {7, "-2", U32(0xFFFFFFFE)},
      {8, "2147483647", U32(0x7FFFFFFF)},
      {8, "-2147483648", U32(0x80000000)},
      {8, "+5", U32(5)},
      {9, "2,5", Real(2.5)},
      {9, "", Real(0)},
      {9, "-", Real(0)},
      {10, "31.12.1999", U16(51103)},
      {10, "", U16(0)},
      {11, "1234", U32(0)},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.kind) + " '" + c.text + "'");
    int32_t len = -9;
    const void *p = PackRk(static_cast<uint8_t>(c.kind), c.text, len);
    EXPECT_EQ(std::string(static_cast<const char *>(p), c.packed.size()), c.packed);
    EXPECT_EQ(len, -9); // not set for numbers
  }
}

TEST(PackRk, TextsAndKindsWithoutValueGiveTheTextItself) {
  const std::string t = "abc";
  for (int kind : {1, 2, 3}) {
    int32_t len = -1;
    EXPECT_EQ(PackRk(static_cast<uint8_t>(kind), t, len), t.data());
    EXPECT_EQ(len, 3);
  }
  int32_t len = -1;
  EXPECT_EQ(PackRk(0, t, len), t.data());
  EXPECT_EQ(PackRk(12, t, len), t.data());
  EXPECT_EQ(len, -1);
}

TEST(PackRk, TextThatIsNotANumberIsRefused) {
  struct Case {
    int kind;
    const char *text;
  } cases[] = {{5, "x"},     {6, "12a"},         {7, "1 2"},       {8, "2147483648"},
               {8, "-"},     {8, "-2147483649"}, {9, "2.5"},       {9, "abc"},
               {9, ","},     {9, "1,2,3"},       {10, "1.1.2000"}, {10, "aa.bb.cccc"},
               {10, "01.01"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.kind) + " '" + c.text + "'");
    int32_t len = 0;
    std::string m = Message([&] { PackRk(static_cast<uint8_t>(c.kind), c.text, len); });
    EXPECT_NE(m.find(c.text), std::string::npos) << m; // the message names the text
  }
}

TEST(UnPackRk, PackedValueToDisplayText) {
  struct Case {
    int kind;
    std::string packed;
    std::string text;
  } cases[] = {{4, "A", "A"},
               {5, U8(0x80), "-128"},
               {6, U16(0x8000), "32768"},
               {7, U32(0x80000000), "-2147483648"},
               {8, U32(42), "42"},
               {9, Real(1e15), "1000000000000000"},
               {10, U16(33), ""},
               {11, U32(7), ""}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.kind);
    EXPECT_EQ(UnPackRk(static_cast<uint8_t>(c.kind), c.packed.data()), c.text);
  }
  // the other kinds give back the previous result
  std::string v = U32(99);
  EXPECT_EQ(UnPackRk(8, v.data()), "99");
  for (int kind : {0, 1, 2, 3, 12, 255})
    EXPECT_EQ(UnPackRk(static_cast<uint8_t>(kind), "ignored"), "99");
}

TEST(PackRk, RoundTripsThroughUnPackRk) {
  for (int kind : {4, 5, 6, 7, 8, 9})
    for (const char *text : {"0", "7", "100", "-5", "2,25"}) {
      int32_t len;
      const void *p;
      try {
        p = PackRk(static_cast<uint8_t>(kind), text, len);
      } catch (const ZError &) {
        continue; // "2,25" is no integer
      }
      std::string back = UnPackRk(static_cast<uint8_t>(kind), p);
      if (kind == 4)
        EXPECT_EQ(back, std::string(1, text[0]));
      else if (kind == 6 && text[0] == '-')
        EXPECT_EQ(back, "65531");
      else
        EXPECT_EQ(back, text) << kind;
    }
}

TEST(DFloatToStr, NineDecimalsCommaNoTrailingZeros) {
  struct Case {
    double value;
    const char *text;
  } cases[] = {
      {2.5, "2,5"},
      {3.0, "3"},
      {0.1234567891, "0,123456789"},
      {0.1234567896, "0,12345679"},
      {-2.5, "-2,5"},
      {0.0, "0"},
      {-0.0, "0"},
      {-1e-12, "0"},          // rounds to zero: no sign
      {5e-10, "0,000000001"}, // half away from zero
      {-5e-10, "-0,000000001"},
      {4e-10, "0"},
      {123.456, "123,456"},
      {1e15, "1000000000000000"},
      {-2300.0, "-2300"},
      {1.332, "1,332"},
      {std::numeric_limits<double>::quiet_NaN(), "NAN"},
      {std::numeric_limits<double>::infinity(), "INF"},
      {-std::numeric_limits<double>::infinity(), "-INF"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(DFloatToStr(c.value), c.text);
  }
  EXPECT_EQ(DFloatToStr(1e300).substr(0, 4), "1000");
  EXPECT_EQ(DFloatToStr(1e300).find(','), std::string::npos);
}

TEST(DStrToFloat, CommaTextsToReals) {
  struct Case {
    const char *text;
    double value;
  } cases[] = {{"", 0},     {"-", 0},  {"2,5", 2.5}, {"-3", -3},      {"0,123456789", 0.123456789},
               {",5", 0.5}, {"7,", 7}, {" 12 ", 12}, {"1,5e3", 1500}, {"+1E-2", 0.01}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_DOUBLE_EQ(DStrToFloat(c.text), c.value);
  }
  for (const char *bad : {"abc", "2.5", "1,2,3", ",", "e5", "1e", "--1", "1 2", "0x10", "1e999"}) {
    SCOPED_TRACE(bad);
    EXPECT_NE(Message([&] { DStrToFloat(bad); }).find(bad), std::string::npos);
  }
  for (double v : {2.5, -1234.5678, 1e-9, 98765.4321})
    EXPECT_NEAR(DStrToFloat(DFloatToStr(v)), v, 5e-10);
}
