// In-place editing of composite block files: deleting, replacing, inserting,
// updating and modifying records, appending records and groups. Fixtures are
// written byte by byte, and every result is read back through a fresh object
// so that what counts is what reached the disk.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "BlockBytes.h"
#include "BlockFile.h"
#include "Messages.h"
#include "RecordBuffer.h"

using namespace bb;

namespace {

// Two logical files. 0: A (10 bytes) at 24, B (5 bytes) at 41, end at 53.
// 1: empty, end record at 61. EndAdr 69.
constexpr uint32_t AdrA = 24, AdrB = 41, AdrEnd0 = 53, AdrEnd1 = 61, EndAdr0 = 69;
const std::string BodyA = "AAAAAAAAAA";
const std::string BodyB = "BBBBB";

std::string TwoFiles() {
  return Header(EndAdr0, 2) + Entry(AdrA, 17 + 12 + 8) + Entry(AdrEnd1, 8) + Rec(BodyA) +
         Rec(BodyB) + EndRec() + EndRec();
}

struct EditFixture : ::testing::Test {
  TempDir dir;
  std::string path = dir / "f.bf";
  Recorder quiet; // destructors report through the presenter
  void SetUp() override { WriteAll(path, TwoFiles()); }

  // Bodies of logical file n as a fresh reader meets them.
  std::vector<std::string> Chain(uint32_t n) {
    WFile f(path, true);
    return bb::ReadAllRecs(f, n);
  }
  uint32_t DiskEndAdr() { return Get32(ReadAll(path), 0); }
  uint32_t DiskAdr(uint32_t n) { return Get32(ReadAll(path), 8 + 8 * n); }
  uint32_t DiskLen(uint32_t n) { return Get32(ReadAll(path), 12 + 8 * n); }
};

void SetBody(WRec &r, const std::string &body) {
  std::memcpy(r.Data, body.data(), body.size());
  r.Len = static_cast<uint16_t>(body.size());
  r.Flag = 0;
  r.Next = EmptyAdr;
}

std::vector<std::string> V(std::initializer_list<std::string> l) {
  return l;
}

} // namespace

TEST_F(EditFixture, DeleteOfFirstRecordKeepsAdrAndShrinksLen) {
  {
    WFile f(path);
    WRec r;
    EXPECT_EQ(f.WEditFile(weDelete, 0, AdrA, EmptyAdr, &r), AdrA);
    EXPECT_EQ(f.Dir[0].Len, 37u - 17u);
    // The object ends positioned at the deleted record: reading skips it.
    ASSERT_TRUE(f.WRead(&r));
    EXPECT_EQ(std::string(r.Data, r.Len), BodyB);
  }
  EXPECT_EQ(DiskAdr(0), AdrA);
  EXPECT_EQ(DiskLen(0), 20u);
  EXPECT_EQ(DiskEndAdr(), EndAdr0);
  EXPECT_EQ(static_cast<uint8_t>(ReadAll(path)[AdrA]), 0x80);
  EXPECT_EQ(Chain(0), V({BodyB}));
}

TEST_F(EditFixture, ReplaceByLongerRecordAppendsAndRelinks) {
  const std::string body30(30, 'N');
  {
    WFile f(path);
    WRec r;
    SetBody(r, body30);
    // The given link is the old record's following address.
    EXPECT_EQ(f.WEditFile(weReplace, 0, AdrA, AdrB, &r), EndAdr0);
    EXPECT_EQ(f.Header.EndAdr, EndAdr0 + 37);
  }
  const std::string bytes = ReadAll(path);
  EXPECT_EQ(DiskEndAdr(), EndAdr0 + 37);
  EXPECT_EQ(bytes.size(), EndAdr0 + 37);
  EXPECT_EQ(DiskLen(0), 37u + 20u);
  EXPECT_EQ(DiskAdr(0), AdrA);
  // The old record is deleted and leads to the new one.
  EXPECT_EQ(static_cast<uint8_t>(bytes[AdrA]), 0x80);
  EXPECT_EQ(Get32(bytes, AdrA + 1), EndAdr0);
  EXPECT_EQ(bytes.substr(EndAdr0), Rec(0, AdrB, body30));
  EXPECT_EQ(Chain(0), V({body30, BodyB}));
}

TEST_F(EditFixture, ModifyWithEqualLengthOverwritesInPlace) {
  const std::string same(BodyA.size(), 'Z');
  {
    WFile f(path);
    WRec r;
    SetBody(r, same);
    EXPECT_EQ(f.WEditFile(weModify, 0, AdrA, EmptyAdr, &r), AdrA);
  }
  EXPECT_EQ(ReadAll(path).size(), EndAdr0);
  EXPECT_EQ(DiskEndAdr(), EndAdr0);
  EXPECT_EQ(DiskLen(0), 37u);
  EXPECT_EQ(Chain(0), V({same, BodyB}));
}

TEST_F(EditFixture, ModifyWithOtherLengthReplacesAndFindsTheLinkItself) {
  {
    WFile f(path);
    WRec r;
    SetBody(r, "xyz");
    // The link argument is ignored: the old following address is used.
    EXPECT_EQ(f.WEditFile(weModify, 0, AdrA, 12345, &r), EndAdr0);
  }
  EXPECT_EQ(DiskEndAdr(), EndAdr0 + 10);
  EXPECT_EQ(DiskLen(0), 37u - 7u);
  EXPECT_EQ(Get32(ReadAll(path), EndAdr0 + 1), AdrB);
  EXPECT_EQ(Chain(0), V({"xyz", BodyB}));
}

TEST_F(EditFixture, ModifyOfLinkedRecordKeepsItsLink) {
  // Logical file 0 as A -> (link) C, where C lies after logical file 1.
  const uint32_t adrC = EndAdr0;
  std::string bytes = Header(EndAdr0 + 8, 2) + Entry(AdrA, 17 + 8 + 8) + Entry(AdrEnd1, 8) +
                      Rec(0, adrC, BodyA) + Rec(BodyB) + EndRec() + EndRec() + Rec(0, AdrEnd0, "C");
  // B at 41 is dead space now; the chain is A, C, end record at 53.
  WriteAll(path, bytes);
  ASSERT_EQ(Chain(0), V({BodyA, "C"}));
  {
    WFile f(path);
    WRec r;
    SetBody(r, "longer than ten");
    EXPECT_EQ(f.WEditFile(weModify, 0, AdrA, EmptyAdr, &r), EndAdr0 + 8);
  }
  EXPECT_EQ(Chain(0), V({"longer than ten", "C"}));
}

TEST_F(EditFixture, InsertAtTheFrontBecomesTheFirstRecord) {
  {
    WFile f(path);
    WRec r;
    SetBody(r, "front");
    EXPECT_EQ(f.WEditFile(weInsert, 0, EmptyAdr, AdrA, &r), EndAdr0);
    EXPECT_EQ(f.Dir[0].Adr, EndAdr0);
  }
  EXPECT_EQ(DiskAdr(0), EndAdr0);
  EXPECT_EQ(DiskLen(0), 37u + 12u);
  EXPECT_EQ(DiskEndAdr(), EndAdr0 + 12);
  EXPECT_EQ(Chain(0), V({"front", BodyA, BodyB}));
}

TEST_F(EditFixture, InsertAfterARecordLinksItIn) {
  {
    WFile f(path);
    WRec r;
    SetBody(r, "mid");
    EXPECT_EQ(f.WEditFile(weInsert, 0, AdrA, AdrB, &r), EndAdr0);
  }
  EXPECT_EQ(DiskAdr(0), AdrA);
  EXPECT_EQ(static_cast<uint8_t>(ReadAll(path)[AdrA]), 0); // the flag is kept
  EXPECT_EQ(Chain(0), V({BodyA, "mid", BodyB}));
}

TEST_F(EditFixture, UpdateDependsOnTheStoredFlag) {
  struct Case {
    uint8_t flag;
    bool accepted;
  };
  for (const Case c : {Case{0x00, true}, Case{0x01, true}, Case{0x81, true}, Case{0x80, false}}) {
    SCOPED_TRACE(int(c.flag));
    WriteAll(path, TwoFiles());
    SetByte(path, AdrB, static_cast<char>(c.flag));
    const std::string before = ReadAll(path);
    WFile f(path);
    WRec r;
    SetBody(r, "12345");
    if (c.accepted) {
      EXPECT_EQ(f.WEditFile(weUpdate, 0, AdrB, EmptyAdr, &r), AdrB);
      f.Close();
      std::string want = before;
      want.replace(AdrB + 7, 5, "12345");
      EXPECT_EQ(ReadAll(path), want);
    } else {
      ZError e = CatchZ([&] { f.WEditFile(weUpdate, 0, AdrB, EmptyAdr, &r); });
      EXPECT_EQ(e.HelpContext, 8);
      EXPECT_EQ(e.Message, f.Name);
      f.Close();
      EXPECT_EQ(ReadAll(path), before);
    }
  }
}

TEST_F(EditFixture, UpdateRefusals) {
  const std::string before = ReadAll(path);
  WRec r;
  SetBody(r, "1234"); // B has 5 bytes
  {
    WFile f(path);
    ZError e = CatchZ([&] { f.WUpdate(AdrB, &r); });
    EXPECT_EQ(e.HelpContext, 16);
    EXPECT_EQ(e.Message, f.Name);
  }
  {
    WFile f(path, true);
    SetBody(r, "12345");
    ZError e = CatchZ([&] { f.WUpdate(AdrB, &r); });
    EXPECT_EQ(e.HelpContext, 0);
    EXPECT_EQ(e.Message, "Файл " + f.Name + " не открыт только для чтения/записи");
  }
  EXPECT_EQ(ReadAll(path), before);
}

TEST_F(EditFixture, UpdatePrefixSetsLinkAndOrsBits) {
  WFile f(path);
  EXPECT_EQ(f.WUpdatePrefix(AdrB, 0x12345678u, 0x03), 5);
  EXPECT_EQ(f.WUpdatePrefix(AdrB, 0x40), 5);
  f.Close();
  const std::string bytes = ReadAll(path);
  EXPECT_EQ(static_cast<uint8_t>(bytes[AdrB]), 0x43);
  EXPECT_EQ(Get32(bytes, AdrB + 1), 0x12345678u);
  EXPECT_EQ(bytes.substr(AdrB + 5, 2), U16(5)); // the length is untouched
}

TEST_F(EditFixture, UpdateLogInfoWritesTheEntryAddress) {
  {
    WFile f(path);
    f.WUpdateLogInfo(1, AdrB);
    EXPECT_EQ(f.Dir[1].Adr, AdrB);
  }
  EXPECT_EQ(DiskAdr(1), AdrB);
  EXPECT_EQ(DiskLen(1), 8u);
  EXPECT_EQ(Chain(1), V({BodyB}));
}

TEST_F(EditFixture, AppendRecordToEmptyLogicalFile) {
  {
    WFile f(path);
    WRec r;
    SetBody(r, "first");
    f.WAppendRecToLogFile(1, &r);
  }
  const std::string bytes = ReadAll(path);
  EXPECT_EQ(DiskAdr(1), EndAdr0);
  EXPECT_EQ(DiskLen(1), 8u + 12u);
  EXPECT_EQ(DiskEndAdr(), EndAdr0 + 12);
  // The new record links to the logical file's old end record.
  EXPECT_EQ(bytes.substr(EndAdr0), Rec(0, AdrEnd1, "first"));
  EXPECT_EQ(Chain(1), V({"first"}));
  EXPECT_EQ(Chain(0), V({BodyA, BodyB}));
}

TEST_F(EditFixture, AppendRecordsToFilledLogicalFile) {
  {
    WFile f(path);
    WRec r;
    SetBody(r, "c1");
    f.WAppendRecToLogFile(0, &r);
    SetBody(r, "c22");
    f.WAppendRecToLogFile(0, &r);
  }
  EXPECT_EQ(DiskLen(0), 37u + 9u + 10u);
  EXPECT_EQ(DiskEndAdr(), EndAdr0 + 19);
  EXPECT_EQ(Get32(ReadAll(path), AdrB + 1), EndAdr0); // B links to the first appended one
  EXPECT_EQ(Chain(0), V({BodyA, BodyB, "c1", "c22"}));
}

TEST_F(EditFixture, AppendGroupOfRecords) {
  const std::string group = dir / "g.bf";
  WriteAll(group, Rec("g1") + Rec(0x05, EmptyAdr, "g22") + Rec("g333") + EndRec());
  {
    WFile f(path);
    f.WAppendGroup(0, group);
    f.WAppendGroup(1, group);
  }
  EXPECT_EQ(Chain(0), V({BodyA, BodyB, "g1", "g22", "g333"}));
  EXPECT_EQ(Chain(1), V({"g1", "g22", "g333"}));
  const uint32_t sum = 9 + 10 + 11;
  EXPECT_EQ(DiskLen(0), 37u + sum);
  EXPECT_EQ(DiskLen(1), 8u + sum);
  EXPECT_EQ(DiskAdr(1), EndAdr0 + sum);
  EXPECT_EQ(DiskEndAdr(), EndAdr0 + 2 * sum);
  // The writer bits of the group's records come along.
  EXPECT_EQ(static_cast<uint8_t>(ReadAll(path)[EndAdr0 + 9]), 0x05);
}

TEST_F(EditFixture, AppendGroupWithLinksStoresThemContiguously) {
  // A group whose chain jumps: r1 links over dead bytes to r2.
  const std::string group = dir / "g.bf";
  const std::string r1 = Rec(0, 9 + 4, "r1");
  WriteAll(group, r1 + "dead" + Rec("r2") + EndRec());
  {
    WFile f(path);
    f.WAppendGroup(1, group);
  }
  EXPECT_EQ(Chain(1), V({"r1", "r2"}));
  EXPECT_EQ(Get32(ReadAll(path), EndAdr0 + 1), EmptyAdr);
}

TEST_F(EditFixture, AppendOfEmptyGroupChangesNothing) {
  const std::string group = dir / "g.bf";
  WriteAll(group, EndRec());
  const std::string before = ReadAll(path);
  {
    WFile f(path);
    f.WAppendGroup(0, group);
    f.WAppendGroup(1, group);
  }
  EXPECT_EQ(ReadAll(path), before);
}

TEST_F(EditFixture, WrongLogicalFileNumberIsRefusedBeforeWriting) {
  const std::string group = dir / "g.bf";
  WriteAll(group, Rec("g") + EndRec());
  WRec r;
  SetBody(r, "12345");
  using Op = std::function<void(WFile &, int)>;
  const std::vector<std::pair<const char *, Op>> ops = {
      {"delete", [&](WFile &f, int n) { f.WEditFile(weDelete, n, AdrA, EmptyAdr, &r); }},
      {"replace", [&](WFile &f, int n) { f.WEditFile(weReplace, n, AdrA, AdrB, &r); }},
      {"insert", [&](WFile &f, int n) { f.WEditFile(weInsert, n, EmptyAdr, AdrA, &r); }},
      {"update", [&](WFile &f, int n) { f.WEditFile(weUpdate, n, AdrB, EmptyAdr, &r); }},
      {"modify", [&](WFile &f, int n) { f.WEditFile(weModify, n, AdrA, EmptyAdr, &r); }},
      {"loginfo", [&](WFile &f, int n) { f.WUpdateLogInfo(n, AdrB); }},
      {"append", [&](WFile &f, int n) { f.WAppendRecToLogFile(n, &r); }},
      {"group", [&](WFile &f, int n) { f.WAppendGroup(n, group); }},
  };
  const std::string before = ReadAll(path);
  for (const auto &[what, op] : ops) {
    for (int n : {2, -1}) {
      SCOPED_TRACE(std::string(what) + " " + std::to_string(n));
      WFile f(path);
      ZError e = CatchZ([&] { op(f, n); });
      EXPECT_EQ(e.HelpContext, 0);
      EXPECT_EQ(e.Message,
                "Для файла " + f.Name + " неверен номер лог. файла " + std::to_string(n));
      f.Close();
      EXPECT_EQ(ReadAll(path), before);
    }
  }
}

TEST_F(EditFixture, BadAddressIsRefusedBeforeWriting) {
  WRec r;
  SetBody(r, "new");
  const std::string before = ReadAll(path);
  for (WEdit mode : {weDelete, weReplace, weInsert, weUpdate, weModify}) {
    SCOPED_TRACE(int(mode));
    WFile f(path);
    ZError e = CatchZ([&] { f.WEditFile(mode, 0, EndAdr0 + 100, AdrB, &r); });
    EXPECT_EQ(e.HelpContext, 10);
    f.Close();
    EXPECT_EQ(ReadAll(path), before);
  }
}

TEST_F(EditFixture, ReadOnlyObjectWritesNothing) {
  WRec r;
  SetBody(r, "new");
  const std::string before = ReadAll(path);
  {
    WFile f(path, true);
    ZError e = CatchZ([&] { f.WEditFile(weReplace, 0, AdrA, AdrB, &r); });
    EXPECT_EQ(e.Message, "Файл " + f.Name + " не открыт только для записи");
    EXPECT_EQ(CatchZ([&] { f.WAppendRecToLogFile(1, &r); }).HelpContext, 0);
    EXPECT_EQ(CatchZ([&] { f.WEditFile(weDelete, 0, AdrA, EmptyAdr, &r); }).HelpContext, 18);
  }
  EXPECT_EQ(ReadAll(path), before);
}

TEST_F(EditFixture, EditingWhileALogicalFileIsCreatedKeepsItsOffsets) {
  {
    WFile f(path);
    f.WCreat_file(1);
    EXPECT_EQ(f.WWrite(0, 3, "one"), 0u);
    WRec r;
    SetBody(r, "appended");
    f.WAppendRecToLogFile(0, &r);
    SetBody(r, "replaced");
    f.WEditFile(weReplace, 0, AdrB, EndAdr0, &r); // B links to "appended"
    EXPECT_EQ(f.WWrite(0, 3, "two"), 10u);
    f.WClose_file(1, true);
  }
  EXPECT_EQ(Chain(0), V({BodyA, "replaced", "appended"}));
  EXPECT_EQ(Chain(1), V({"one", "two"}));
}
