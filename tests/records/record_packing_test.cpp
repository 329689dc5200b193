// Unpacking packed records into structures and packing them back.
#include <gtest/gtest.h>

#include <random>

#include "Messages.h"
#include "RecordBuffer.h"
#include "RecordBytes.h"
#include "RecordLayout.h"

using namespace recbytes;

namespace {

StructValue Unpack(const TZFieldList &l, const std::string &bytes) {
  StructValue s;
  RecStruct(l, bytes, s);
  return s;
}

} // namespace

TEST(RecStruct, EmptyListReadsNothingAndPacksToZeroBytes) {
  TZFieldList empty;
  StructValue s;
  RecStruct(empty, std::string_view(), s);
  EXPECT_EQ(s.Size(), 0u);
  RecStruct(empty, std::string_view("\x01\x02\x03", 3), s);
  EXPECT_EQ(s.Size(), 0u);

  WRec r;
  Fill(r, "xyz");
  r.Next = 1234;
  StructRec(empty, s, r, 5);
  EXPECT_EQ(r.Len, 0);
  EXPECT_EQ(r.Flag, 5);
  EXPECT_EQ(r.Next, 1234u);
  EXPECT_EQ(StructRec(empty, s), "");
}

TEST(RecStruct, KindsWithoutRoomArePassedOverAnywhereInTheList) {
  // The record of the list {8, 1, 9, 5}; a kind without room is put before,
  // between and after these and must change nothing in either walk.
  const std::string bytes = U32(0xFFFFFFF6) + Long("ab") + Real(2.5) + U8(0x80);
  for (int odd : {0, 12, 127, 128, 200, 255}) {
    for (size_t at = 0; at <= 4; ++at) {
      SCOPED_TRACE("kind " + std::to_string(odd) + " at " + std::to_string(at));
      std::vector<int> kinds = {8, 1, 9, 5};
      kinds.insert(kinds.begin() + static_cast<long>(at), odd);
      TZFieldList l;
      for (int k : kinds)
        l.push_back(TZTabField{"", static_cast<TypeField>(k), 0, 0});
      StructValue s = Unpack(l, bytes);
      auto p = [&](size_t i) { return i < at ? i : i + 1; }; // position in l
      EXPECT_EQ(s.GetInt(p(0)), -10);
      EXPECT_EQ(s.GetText(p(1)), "ab");
      EXPECT_EQ(s.GetReal(p(2)), 2.5);
      EXPECT_EQ(s.GetSmall(p(3)), -128);
      EXPECT_THROW(s.GetText(at), ZError); // the empty slot holds nothing
      EXPECT_EQ(StructRec(l, s), bytes);
    }
  }
}

TEST(StructRec, EmptyTextsPackToTheirTwoBytePrefix) {
  struct Case {
    int kind;
    std::string packed;
  } cases[] = {{1, std::string("\x00\x00", 2)},
               {2, std::string("\x00\x82", 2)},
               {3, std::string("\x00\x81", 2)}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.kind);
    TZFieldList l = List({c.kind});
    StructValue s(l);
    EXPECT_EQ(StructRec(l, s), c.packed);
    // and every empty form reads back as the empty text under any text kind
    for (int k : {1, 2, 3}) {
      StructValue back = Unpack(List({k, 6}), c.packed + U16(77));
      EXPECT_EQ(back.GetText(0), "");
      EXPECT_EQ(back.GetWord(1), 77);
    }
  }
}

TEST(RecStruct, TextFormIsReadFromTheRecordAndWrittenByTheDescriptor) {
  struct Case {
    const char *what;
    int kind;
    std::string stored;
    std::string repacked;
  } cases[] = {
      {"short 0x81 under kind 1", 1, Short81("abc"), Long("abc")},
      {"short 0x82 under kind 1", 1, Short82("abc"), Long("abc")},
      {"long under kind 2", 2, Long("abc"), Short82("abc")},
      {"short 0x82 under kind 3", 3, Short82("abc"), Short81("abc")},
      {"long under kind 1", 1, Long("abc"), Long("abc")},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TZFieldList l = List({c.kind, 8});
    StructValue s = Unpack(l, c.stored + U32(7));
    EXPECT_EQ(s.GetText(0), "abc");
    EXPECT_EQ(s.GetInt(1), 7);
    std::string packed = StructRec(l, s);
    EXPECT_EQ(packed, c.repacked + U32(7));
    EXPECT_EQ(packed.size(), c.stored.size() + 4); // both prefixes take two bytes
  }
}

TEST(RecStruct, BilingualTextKeepsTheDataLanguagePart) {
  const std::string rus = "\xD0\xF3\xF1";      // 'Рус'
  const std::string ukr = "\xD3\xEA\xF0 \xB3"; // 'Укр і'
  const std::string both = "\x04" + rus + "\x05" + ukr;
  struct Case {
    unsigned char lang;
    std::string expect;
  } cases[] = {{0, ukr}, {1, rus}, {2, both}, {7, both}};
  for (const Case &c : cases) {
    SCOPED_TRACE(static_cast<int>(c.lang));
    DataLangScope lang(c.lang);
    TZFieldList l = List({6, 1, 3, 6});
    StructValue s = Unpack(l, U16(1) + Long(both) + Short81(both) + U16(2));
    EXPECT_EQ(s.GetText(1), c.expect);
    EXPECT_EQ(s.GetText(2), c.expect);
    EXPECT_EQ(s.GetWord(3), 2);
    // packing stores the variant, so the record shrinks by the difference
    EXPECT_EQ(StructRec(l, s), U16(1) + Long(c.expect) + Short81(c.expect) + U16(2));
  }
  // a text whose marker is not its first byte is not bilingual
  DataLangScope lang(0);
  StructValue s = Unpack(List({1}), Long("x\x04"
                                         "a\x05"
                                         "b"));
  EXPECT_EQ(s.GetText(0), "x\x04"
                          "a\x05"
                          "b");
}

TEST(RecStruct, EveryCutOfTheRecordIsRefusedAndLeavesTheStructure) {
  TZFieldList l = List({1, 4, 5, 6, 7, 8, 9, 10, 11, 2, 3});
  const std::string full = Long("hello") + "c" + U8(3) + U16(4) + U32(5) + U32(6) + Real(7.5) +
                           U16(33) + U32(9) + Short82("ab") + Short81("");
  StructValue s = Unpack(l, full);
  ASSERT_EQ(StructRec(l, s), full);
  for (size_t n = 0; n < full.size(); ++n) {
    SCOPED_TRACE(n);
    // an exact-size copy so that a read past the cut is caught by the sanitizer
    std::unique_ptr<char[]> cut(new char[n + 1]);
    std::memcpy(cut.get(), full.data(), n);
    StructValue t = s;
    EXPECT_THROW(RecStruct(l, std::string_view(cut.get(), n), t), ZError);
    EXPECT_EQ(StructRec(l, t), full); // unchanged
  }
}

TEST(RecStruct, RecordFormReadsOnlyLenBytes) {
  TZFieldList l = List({8, 8});
  WRec r;
  Fill(r, U32(1) + U32(2));
  StructValue s;
  RecStruct(l, r, s);
  EXPECT_EQ(s.GetInt(1), 2);
  r.Len = 7; // the buffer still holds all 8 bytes, the record does not
  EXPECT_THROW(RecStruct(l, r, s), ZError);
}

TEST(RecStruct, TextLengthRunningPastTheRecordIsRefused) {
  struct Case {
    const char *what;
    std::string bytes;
  } cases[] = {
      {"long length past the end", U16(10) + "abc"},
      {"short length past the end", U8(4) + "\x81" + "abc"},
      {"huge long length", U16(0x80FF) + "abc"},
      {"lone length byte", U8(0)},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    StructValue s;
    try {
      RecStruct(List({1}), c.bytes, s);
      ADD_FAILURE() << "accepted";
    } catch (const ZError &e) {
      EXPECT_EQ(e.HelpContext, 0);
      EXPECT_NE(e.Message.find("реквизита 0"), std::string::npos) << e.Message;
    }
  }
}

TEST(StructRec, ShortTextOver255BytesIsRefused) {
  for (int kind : {2, 3}) {
    SCOPED_TRACE(kind);
    TZFieldList l = List({kind});
    StructValue s(l);
    s.SetText(0, std::string(255, 'x'));
    EXPECT_EQ(StructRec(l, s), U8(255) + (kind == 2 ? "\x82" : "\x81") + std::string(255, 'x'));
    s.SetText(0, std::string(256, 'x'));
    WRec r;
    Fill(r, "keep");
    EXPECT_THROW(StructRec(l, s, r, 1), ZError);
    EXPECT_EQ(Body(r), "keep");
    EXPECT_EQ(r.Flag, 0);
  }
  // the long form takes it
  TZFieldList l = List({1});
  StructValue s(l);
  s.SetText(0, std::string(256, 'x'));
  EXPECT_EQ(StructRec(l, s), U16(256) + std::string(256, 'x'));
}

TEST(StructRec, OutputBeyondTheCapacityIsRefused) {
  TZFieldList l = List({1, 9});
  StructValue s(l);
  s.SetText(0, "abcd");
  s.SetReal(1, 1.0); // packed: 2 + 4 + 8 = 14 bytes
  WRec exact(14);
  StructRec(l, s, exact, 0);
  EXPECT_EQ(exact.Len, 14);

  WRec small(13);
  Fill(small, "old");
  EXPECT_THROW(StructRec(l, s, small, 1), ZError);
  EXPECT_EQ(Body(small), "old");

  char out[14];
  EXPECT_EQ(StructRec(l, s, std::span<char>(out, 14)), 14u);
  EXPECT_THROW(StructRec(l, s, std::span<char>(out, 13)), ZError);

  // a full-size buffer refuses a record beyond UseLenRec
  TZFieldList big = List({1, 1});
  StructValue b(big);
  b.SetText(0, std::string(UseLenRec - 4, 'a'));
  WRec r;
  StructRec(big, b, r, 0);
  EXPECT_EQ(r.Len, UseLenRec);
  b.SetText(1, "z");
  EXPECT_THROW(StructRec(big, b, r, 0), ZError);
}

TEST(StructRec, StructureOfAnotherListIsRefused) {
  TZFieldList l = List({1, 9});
  struct Case {
    const char *what;
    TZFieldList other;
  } cases[] = {{"shorter", List({1})},
               {"longer", List({1, 9, 5})},
               {"text for a number", List({1, 1})},
               {"other width", List({1, 8})}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    StructValue s(c.other);
    EXPECT_FALSE(s.Matches(l));
    EXPECT_THROW(StructRec(l, s), ZError);
  }
  // kinds of one shape are interchangeable: texts among texts, numbers by width
  StructValue s(List({3, 9}));
  EXPECT_TRUE(s.Matches(l));
  StructValue w(List({7, 8, 11, 6, 10, 4, 5}));
  EXPECT_TRUE(w.Matches(List({11, 7, 8, 10, 6, 5, 4})));
}

TEST(StructValue, AccessorsRefuseOtherKindsAndPositions) {
  TZFieldList l = List({1, 4, 6, 7, 9, 0});
  StructValue s(l);
  EXPECT_THROW(s.GetReal(0), ZError);
  EXPECT_THROW(s.GetText(4), ZError);
  EXPECT_THROW(s.GetWord(3), ZError);
  EXPECT_THROW(s.SetDword(2, 1), ZError);
  EXPECT_THROW(s.GetByte(5), ZError);
  EXPECT_THROW(s.GetText(6), ZError);
  EXPECT_THROW(s.Kind(6), ZError);
  s.SetByte(1, 0xFE);
  s.SetWord(2, 0xBEEF);
  s.SetInt(3, -2);
  s.SetReal(4, -0.25);
  s.SetText(0, "t");
  EXPECT_EQ(StructRec(l, s), Long("t") + "\xFE" + U16(0xBEEF) + U32(0xFFFFFFFE) + Real(-0.25));
  EXPECT_EQ(s.GetSmall(1), -2);
  EXPECT_EQ(s.GetDword(3), 0xFFFFFFFEu);
}

// Random records of every kind come back byte for byte: texts in the form
// their descriptor writes, numbers with arbitrary bits (NaN payloads included).
TEST(RecStruct, RandomRecordsRoundTripByteForByte) {
  std::mt19937 gen(20240611);
  auto byte = [&] { return static_cast<char>(gen() & 0xFF); };
  DataLangScope lang(0);
  for (int round = 0; round < 4000; ++round) {
    SCOPED_TRACE(round);
    TZFieldList l;
    std::string rec;
    int fields = static_cast<int>(gen() % 40);
    for (int f = 0; f < fields; ++f) {
      int kind = static_cast<int>(gen() % 15); // 12..14 occupy nothing, like 0
      l.push_back(TZTabField{"", static_cast<TypeField>(kind), 0, 0});
      if (IsTextKind(kind)) {
        size_t n = gen() % (kind == 1 ? 400 : 256);
        std::string t;
        for (size_t i = 0; i < n; ++i)
          t += byte();
        if (!t.empty() && t[0] == WDelim4)
          t[0] = 'B'; // not a bilingual text: that would be reduced
        rec += kind == 1 ? Long(t) : kind == 2 ? Short82(t) : Short81(t);
      } else {
        for (int i = 0; i < KindWidth(kind); ++i)
          rec += byte();
      }
    }
    ASSERT_LE(rec.size(), static_cast<size_t>(UseLenRec));
    WRec r;
    Fill(r, rec);
    r.Next = 77;
    StructValue s;
    RecStruct(l, r, s);
    ASSERT_EQ(s.Size(), l.size());
    WRec back;
    back.Next = 99;
    StructRec(l, s, back, 3);
    ASSERT_EQ(Body(back), rec);
    EXPECT_EQ(back.Flag, 3);
    EXPECT_EQ(back.Next, 99u);
  }
}

// Arbitrary bytes under arbitrary lists: a record is either refused with
// ZError or unpacked, and what was unpacked never packs longer than it was
// (texts keep a two-byte prefix; bilingual texts only shrink).
TEST(RecStruct, ArbitraryBytesAreRefusedOrReadWithinTheRecord) {
  std::mt19937 gen(7);
  int refused = 0, read = 0;
  for (int round = 0; round < 3000; ++round) {
    TZFieldList l;
    for (int f = static_cast<int>(gen() % 12); f > 0; --f)
      l.push_back(TZTabField{"", static_cast<TypeField>(gen() % 14), 0, 0});
    size_t n = gen() % 64;
    std::unique_ptr<char[]> bytes(new char[n + 1]);
    for (size_t i = 0; i < n; ++i)
      bytes[i] = static_cast<char>(gen() % 4 == 0 ? 0x81 + gen() % 2 : gen() % 8);
    StructValue s;
    try {
      RecStruct(l, std::string_view(bytes.get(), n), s);
    } catch (const ZError &) {
      ++refused;
      continue;
    }
    ++read;
    ASSERT_EQ(s.Size(), l.size());
    try {
      EXPECT_LE(StructRec(l, s).size(), n) << round;
    } catch (const ZError &) {
      // a long text read under a short-text kind may exceed 255 bytes; not here
      ADD_FAILURE() << "texts of at most 63 bytes refused, round " << round;
    }
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(read, 0);
}
