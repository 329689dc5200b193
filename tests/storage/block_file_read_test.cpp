#include "BlockFile.h"

#include <gtest/gtest.h>

#include <cstring>

#include "BlockBytes.h"
#include "XorCoding.h"

namespace {

using bb::Body;
using bb::CatchZ;
using bb::EndRec;
using bb::Image;
using bb::ReadAllRecs;
using bb::Rec;

// Logical file 0: edition; 1: a chain with a deleted record, a replaced
// record whose new version sits elsewhere, and a continuation; 2: empty.
struct Sample {
  Image img{3};
  uint32_t a, deleted, replaced, next, moved, eof1;
  Sample() {
    img.dir[0] = {img.Put(Rec("5-2.10.5")), 15 + 8};
    img.Put(EndRec());
    a = img.Put(Rec("first"));
    deleted = img.Put(Rec(0x80, EmptyAdr, "gone"));
    replaced = img.Put(Rec(0x80, 0, "old")); // link fixed below
    next = img.Put(Rec("third"));
    eof1 = img.Put(EndRec());
    img.dir[2] = {img.Put(EndRec()), 8};
    moved = img.Put(Rec(0x01, next, "second")); // writer bit kept
    img.area.replace(replaced - img.Base() + 1, 4, bb::U32(moved));
    img.dir[1] = {a, 12 + 13 + 12 + 8};
  }
};

TEST(WFileRead, FollowsTheChainPastDeletedAndReplacedRecords) {
  bb::TempDir t;
  Sample s;
  s.img.Write(t / "f");
  WFile w(t / "f");
  EXPECT_EQ(w.Header.Count, 3u);
  EXPECT_EQ(w.Header.EndAdr, s.img.Here());
  EXPECT_EQ(w.Name, t / "f");
  WRec r;
  int adr = 0;
  EXPECT_EQ(w.WOpen_file(1, adr), 45u);
  EXPECT_EQ(static_cast<uint32_t>(adr), s.a);
  ASSERT_TRUE(w.WRead(&r));
  EXPECT_EQ(Body(r), "first");
  EXPECT_EQ(w.CurAdr, s.a);
  ASSERT_TRUE(w.WRead(&r));
  EXPECT_EQ(Body(r), "second");
  EXPECT_EQ(r.Flag, 0x01);
  EXPECT_EQ(w.CurAdr, s.moved);
  EXPECT_EQ(w.CurPos, s.next);
  ASSERT_TRUE(w.WRead(&r));
  EXPECT_EQ(Body(r), "third");
  EXPECT_FALSE(w.WRead(&r));
  EXPECT_TRUE(r.IsEof());
  EXPECT_EQ(w.CurPos, s.eof1) << "CurPos stays at the end record";
  EXPECT_EQ(ReadAllRecs(w, 0), std::vector<std::string>{"5-2.10.5"});
}

TEST(WFileRead, EmptyLogicalFileLeavesTheEndRecordInTheBuffer) {
  bb::TempDir t;
  Sample s;
  s.img.Write(t / "f");
  WFile w(t / "f", true);
  EXPECT_EQ(w.Mode, zfmRead);
  WRec r;
  EXPECT_EQ(w.WOpen_file(2), LenEof);
  EXPECT_FALSE(w.WRead(&r));
  EXPECT_EQ(r.Len, 1);
  EXPECT_EQ(r.Data[0], '@');
}

TEST(WFileRead, PositionedForms) {
  bb::TempDir t;
  Sample s;
  s.img.Write(t / "f");
  WFile w(t / "f");
  WRec r;
  ASSERT_TRUE(w.WRead(s.next, &r));
  EXPECT_EQ(Body(r), "third");
  int adr = static_cast<int>(s.a);
  ASSERT_TRUE(w.WRead(&r, adr));
  EXPECT_EQ(Body(r), "first");
  EXPECT_EQ(static_cast<uint32_t>(adr), s.deleted);
  ASSERT_TRUE(w.WRead(&r, adr)); // passes the deleted record, follows the link
  EXPECT_EQ(Body(r), "second");
  EXPECT_EQ(static_cast<uint32_t>(adr), s.next);

  // Raw reads take every prefix as it stands and leave CurPos alone.
  w.WSeek(s.deleted);
  const uint32_t pos = w.CurPos;
  ASSERT_TRUE(w.WRead(&r, true));
  EXPECT_EQ(r.Flag, 0x80);
  EXPECT_EQ(Body(r), "gone");
  ASSERT_TRUE(w.WRead(&r, true));
  EXPECT_EQ(r.Next, s.moved);
  EXPECT_EQ(Body(r), "old");
  EXPECT_EQ(w.CurPos, pos);
  w.WAbsSeek(s.img.Here());
  EXPECT_FALSE(w.WRead(&r, true)) << "nothing left to read";
}

TEST(WFileRead, PrefixReadTakesOneBodyByte) {
  bb::TempDir t;
  Sample s;
  s.img.Write(t / "f");
  WFile w(t / "f");
  WRec r;
  std::memset(r.Data, 'x', 10);
  ASSERT_TRUE(w.WReadPrefix(s.deleted, &r)); // passes "gone", jumps to "second"
  EXPECT_EQ(w.CurAdr, s.moved);
  EXPECT_EQ(r.Len, 6);
  EXPECT_EQ(r.Data[0], 's');
  EXPECT_EQ(r.Data[1], 'x') << "only the first body byte is read";
  EXPECT_EQ(w.CurPos, s.next);
  ASSERT_TRUE(w.WReadPrefix(&r));
  EXPECT_EQ(r.Data[0], 't');
  EXPECT_FALSE(w.WReadPrefix(&r));
}

TEST(WFileRead, OneByteAtRecordEndsTheChain) {
  bb::TempDir t;
  Image img(1);
  img.dir[0] = {img.Put(Rec("x")), 0};
  img.Put(Rec(0, EmptyAdr, "@"));
  img.Put(Rec("never"));
  img.Put(EndRec());
  img.Write(t / "f");
  WFile w(t / "f");
  EXPECT_EQ(ReadAllRecs(w, 0), std::vector<std::string>{"x"});
}

TEST(WFileRead, LongestBodyIsReadOneMoreIsRefused) {
  bb::TempDir t;
  Image img(2);
  img.dir[0] = {img.Put(Rec(std::string(20000, 'L'))), 0};
  img.Put(EndRec());
  img.dir[1] = {img.Put(Rec(std::string(20001, 'M'))), 0};
  img.Put(EndRec());
  img.Write(t / "f");
  WFile w(t / "f");
  WRec r;
  w.WOpen_file(0);
  ASSERT_TRUE(w.WRead(&r));
  EXPECT_EQ(r.Len, 20000);
  EXPECT_EQ(w.CompareVersion(), 0x02) << "the zero byte after a full body fits";
  w.WOpen_file(1);
  ZError e = CatchZ([&] { w.WRead(&r); });
  EXPECT_EQ(e.HelpContext, 11);
  EXPECT_EQ(e.Message, t / "f" + "|( 20001)|20000");
  // A smaller buffer is never overrun.
  WRec small(100);
  w.WOpen_file(0);
  ZError e2 = CatchZ([&] { w.WRead(&small); });
  EXPECT_EQ(e2.HelpContext, 11);
  EXPECT_EQ(e2.Message, t / "f" + "|( 20000)|100");
}

TEST(WFileRead, ZeroLengthRecordRaisesCode9) {
  bb::TempDir t;
  Image img(1);
  img.dir[0] = {img.Put(Rec("")), 0};
  img.Put(EndRec());
  img.Write(t / "f");
  WFile w(t / "f");
  WRec r;
  w.WOpen_file(0);
  ZError e = CatchZ([&] { w.WRead(&r); });
  EXPECT_EQ(e.HelpContext, 9);
  EXPECT_EQ(e.Message, t / "f");
}

TEST(WFileRead, SeekBoundIsEndAdr) {
  bb::TempDir t;
  Sample s;
  s.img.Write(t / "f");
  WFile w(t / "f");
  const uint32_t end = w.Header.EndAdr;
  EXPECT_NO_THROW(w.WSeek(end));
  EXPECT_EQ(w.CurPos, end);
  ZError e = CatchZ([&] { w.WSeek(end + 1); });
  EXPECT_EQ(e.HelpContext, 10);
  EXPECT_EQ(e.Message, t / "f" + "|" + std::to_string(end + 1));
  ZError big = CatchZ([&] { w.WSeek(0xFFFFFFF0u); });
  EXPECT_EQ(big.Message, t / "f" + "|-16") << "addresses print as signed 32-bit values";
}

TEST(WFileRead, LogicalFileNumberAndShapeErrors) {
  bb::TempDir t;
  Sample s;
  s.img.Write(t / "f");
  bb::WriteAll(t / "simple", Rec("a") + EndRec());
  WFile w(t / "f");
  ZError e = CatchZ([&] { w.WOpen_file(3); });
  EXPECT_EQ(e.HelpContext, 0);
  EXPECT_EQ(e.Message, "Для файла " + t / "f" + " неверен номер лог. файла 3");
  EXPECT_EQ(CatchZ([&] { w.WOpen_file(0xFFFFFFFFu); }).Message,
            "Для файла " + t / "f" + " неверен номер лог. файла -1");
  WFile sw(t / "simple", zfmRead);
  EXPECT_EQ(CatchZ([&] { sw.WOpen_file(0); }).Message,
            "Для файла " + t / "simple" + " невозможна открытие логического файла");
  // After a failure the object stays usable.
  EXPECT_EQ(ReadAllRecs(w, 0), std::vector<std::string>{"5-2.10.5"});
}

TEST(WFileRead, SimpleFileReadsFromOffsetZero) {
  bb::TempDir t;
  bb::WriteAll(t / "simple", Rec("a") + Rec(0x80, EmptyAdr, "dead") + Rec("bc") + EndRec());
  WFile w(t / "simple", zfmRead);
  EXPECT_FALSE(w.Composite);
  EXPECT_EQ(w.Header.Count, 1u);
  EXPECT_EQ(w.Header.EndAdr, 8u + 11 + 9 + 8);
  WRec r;
  ASSERT_TRUE(w.WRead(&r));
  EXPECT_EQ(Body(r), "a");
  ASSERT_TRUE(w.WRead(&r));
  EXPECT_EQ(Body(r), "bc");
  EXPECT_FALSE(w.WRead(&r));
}

TEST(WFileRead, CreatedSimpleFileHasNothingToSeek) {
  bb::TempDir t;
  WFile w(t / "new", zfmCreate);
  EXPECT_EQ(w.Header.EndAdr, 0u);
  EXPECT_NO_THROW(w.WSeek(0));
  EXPECT_EQ(CatchZ([&] { w.WSeek(1); }).HelpContext, 10);
  WRec r;
  EXPECT_EQ(CatchZ([&] { w.WRead(&r); }).HelpContext, 17);
}

TEST(WFileRead, CompareVersion) {
  bb::TempDir t;
  struct Case {
    std::string first; // empty: logical file 0 is empty
    int expect;
  } cases[] = {{"5-2.10.4", 0x01}, {"5-2.10.5", 0x10}, {"5-2.10.3", 0x04}, {"", 0x02}};
  for (const Case &c : cases) {
    Image img(1);
    img.dir[0] = {img.Here(), 0};
    if (!c.first.empty())
      img.Put(Rec(c.first));
    img.Put(EndRec());
    img.Write(t / "f");
    WFile w(t / "f");
    EXPECT_EQ(w.CompareVersion(), c.expect) << c.first;
    if (c.first.empty()) {
      EXPECT_EQ(w.Ver.VerText, "@") << "an empty logical file 0 compares the text @";
    }
  }
}

TEST(WFileRead, TrailerAfterEndAdrIsNormal) {
  bb::TempDir t;
  Sample s;
  s.img.Write(t / "f");
  bb::AppendBytes(t / "f", "KSUMKSUM");
  WFile w(t / "f");
  EXPECT_EQ(w.Header.EndAdr, s.img.Here());
  EXPECT_EQ(ReadAllRecs(w, 1), (std::vector<std::string>{"first", "second", "third"}));
  EXPECT_EQ(ReadAllRecs(w, 2), std::vector<std::string>{});
}

TEST(WFileRead, RecordsComeFromThePlainFilesBuffer) {
  bb::TempDir t;
  Image img(1);
  img.dir[0] = {img.Here(), 0};
  std::vector<std::string> bodies;
  for (int i = 0; i < 500; ++i) {
    bodies.push_back(std::string(1 + i % 90, static_cast<char>('a' + i % 26)));
    img.Put(Rec(bodies.back()));
  }
  img.Put(EndRec());
  img.Write(t / "f");
  WFile w(t / "f");                               // the header read fills the buffer
  platform::InjectFailure(platform::Op::Read, 0); // any further system read fails
  std::vector<std::string> got = ReadAllRecs(w, 0);
  platform::ClearInjectedFailures();
  EXPECT_EQ(got, bodies);
}

// ---- coding

TEST(Kod, XorPatternAndRoundTrip) {
  // Words carry the key in both halves, a 2-byte tail the key, an odd byte
  // its low byte: so byte i is XORed with the low byte (even i) or the high.
  for (uint32_t n = 0; n <= 9; ++n) {
    std::string b(n, '\0');
    KodDekodXor(b.data(), n, 0xABCD1234u); // only the low 16 bits count
    for (uint32_t i = 0; i < n; ++i)
      EXPECT_EQ(static_cast<unsigned char>(b[i]), i % 2 ? 0x12 : 0x34) << n << " " << i;
    KodDekodXor(b.data(), n, 0x1234u);
    EXPECT_EQ(b, std::string(n, '\0'));
  }
  EXPECT_NE(KeyHeader(1) & 0xFFFF, 0u);
  EXPECT_NE(KeyLogInfo(1) & 0xFFFF, 0u);
  EXPECT_EQ(KeyRecord(3, 0x12345678u), 0x12345678u >> 3);
  EXPECT_EQ(KeyRecord(35, 0x12345678u), 0x12345678u >> 3);
}

TEST(Kod, CodedFileIsDecodedPartByPart) {
  bb::TempDir t;
  const int kod = 7;
  Sample s;
  std::string plain = s.img.Bytes();
  std::string coded = plain;
  KodDekodXor(coded.data(), 8, KeyHeader(kod));
  KodDekodXor(coded.data() + 8, 24, KeyLogInfo(kod));
  // Code every record prefix and body with the key of its own address.
  for (uint32_t adr : {s.img.dir[0].first, s.img.dir[0].first + 15, s.a, s.deleted, s.replaced,
                       s.next, s.eof1, s.img.dir[2].first, s.moved}) {
    const uint32_t len = bb::Get32(plain + "\0\0", adr + 5) & 0xFFFF;
    KodDekodXor(coded.data() + adr, 7, KeyRecord(kod, adr));
    KodDekodXor(coded.data() + adr + 7, len, KeyRecord(kod, adr));
  }
  ASSERT_NE(coded, plain);
  bb::WriteAll(t / "c", coded);
  WFile w(t / "c", kod);
  EXPECT_EQ(w.Header.Count, 3u);
  EXPECT_EQ(ReadAllRecs(w, 1), (std::vector<std::string>{"first", "second", "third"}));
  EXPECT_EQ(w.CompareVersion(), 0x10);
  bb::WriteAll(t / "p", plain);
  WFile p(t / "p", 0);
  EXPECT_EQ(ReadAllRecs(p, 1), (std::vector<std::string>{"first", "second", "third"}));
}

// ---- damaged files: a clear ZError, never a crash, hang or overrun

struct DamageCase {
  const char *name;
  std::string (*make)();
  const char *text; // expected part of the message
  int code;
};

std::string TooManyLogicalFiles() {
  return bb::Header(40, 1000000) + bb::Entry(24, 8) + EndRec();
}
std::string EndAdrBeyondFile() {
  Image img(1);
  img.dir[0] = {img.Put(EndRec()), 8};
  return img.Bytes(img.Here() + 1);
}
std::string EndAdrInsideDirectory() {
  Image img(2);
  img.dir[0] = {img.Put(EndRec()), 8};
  img.dir[1] = {img.Put(EndRec()), 8};
  return img.Bytes(12);
}
std::string HeaderCut() {
  return std::string("\x10\x00\x00", 3);
}
std::string ChainRunsPastTheEnd() {
  Image img(1);
  img.dir[0] = {img.Put(Rec("a")), 0};
  img.Put(Rec("b"));
  return img.Bytes();
}
std::string PrefixCut() {
  return ChainRunsPastTheEnd() + std::string("\0\xFF\xFF", 3);
}
std::string BodyCut() {
  std::string s = ChainRunsPastTheEnd() + Rec("body");
  s.resize(s.size() - 2);
  return s;
}
std::string LinkOutsideTheFile() {
  Image img(1);
  img.dir[0] = {img.Put(Rec(0, 0x7FFFFF00u, "a")), 0};
  img.Put(EndRec());
  return img.Bytes();
}
std::string LiveChainLoops() {
  Image img(1);
  const uint32_t a = img.Here();
  img.dir[0] = {img.Put(Rec(0, a, "loop")), 0};
  img.Put(EndRec());
  return img.Bytes();
}
std::string DeletedChainLoops() {
  Image img(1);
  const uint32_t a = img.Here();
  img.dir[0] = {img.Put(Rec(0x80, a + 8, "x")), 0};
  img.Put(Rec(0x80, a, "y"));
  img.Put(EndRec());
  return img.Bytes();
}
std::string EntryBeyondTheFile() {
  Image img(1);
  img.dir[0] = {5000, 8};
  img.Put(EndRec());
  return img.Bytes();
}

TEST(WFileDamage, EveryCaseIsRefusedWithAClearError) {
  const DamageCase cases[] = {
      {"too many logical files", TooManyLogicalFiles, "число логических файлов 1000000", 0},
      {"EndAdr beyond the file", EndAdrBeyondFile, "за концом файла", 0},
      {"EndAdr inside the directory", EndAdrInsideDirectory, "внутри каталога", 0},
      {"header cut", HeaderCut, "заголовок обрезан", 0},
      {"chain runs past the end", ChainRunsPastTheEnd, "обрезана концом файла", 0},
      {"prefix cut", PrefixCut, "обрезана концом файла", 0},
      {"body cut", BodyCut, "обрезана концом файла", 0},
      {"link outside the file", LinkOutsideTheFile, "|2147483392", 10},
      {"live chain loops", LiveChainLoops, "зациклена", 0},
      {"deleted chain loops", DeletedChainLoops, "зациклена", 0},
      {"entry beyond the file", EntryBeyondTheFile, "обрезана концом файла", 0},
  };
  bb::TempDir t;
  for (const DamageCase &c : cases) {
    SCOPED_TRACE(c.name);
    bb::WriteAll(t / "d", c.make());
    ZError e = CatchZ([&] {
      WFile w(t / "d");
      for (uint32_t n = 0; n < w.Header.Count; ++n)
        ReadAllRecs(w, n);
    });
    EXPECT_EQ(e.HelpContext, c.code);
    EXPECT_NE(e.Message.find(c.text), std::string::npos) << e.Message;
    EXPECT_NE(e.Message.find(t / "d"), std::string::npos) << e.Message;
  }
}

} // namespace
