// Descriptor lists read from a descriptor block file.
#include <gtest/gtest.h>

#include "BlockFile.h"
#include "BlockFileUtils.h"
#include "Messages.h"
#include "PathAliases.h"
#include "Platform.h"
#include "RecordBuffer.h"
#include "RecordBytes.h"
#include "RecordLayout.h"

using namespace recbytes;

namespace {

class DescriptorFileTest : public ::testing::Test {
protected:
  std::string dir, path;
  void SetUp() override {
    dir = platform::MakeTempDir("records-desc");
    ASSERT_FALSE(dir.empty());
    path = dir + "Boib.sfr";
    ASSERT_EQ(creat_bf(path, 4), 0);
  }
  void TearDown() override {
    Boib = nullptr;
    FreePathLists();
    platform::RemoveTree(dir);
  }
  static void Put(WFile &f, const std::string &body) {
    f.WWrite(0, static_cast<uint16_t>(body.size()), body.data());
  }
  // Logical file n: the two leading records, then one record per body.
  void WriteList(uint32_t n, const std::vector<std::string> &bodies) {
    WFile f(path);
    f.WCreat_file(n);
    Put(f, "head 1");
    Put(f, "head 2");
    for (const std::string &b : bodies)
      Put(f, b);
    f.WClose_file(n, true);
    f.Close();
  }
};

} // namespace

TEST_F(DescriptorFileTest, AppendsOneDescriptorPerRecordAfterTheFirstTwo) {
  WriteList(2,
            {Long("NAME") + U8(1), Long("") + U8(9) + "ignored tail", Long("\xC8\xCC") + U8(200)});
  WFile f(path, true);
  Boib = &f;
  TZFieldList l = List({6});
  WRec rec;
  CreatDefRecord(2, l, rec);
  ASSERT_EQ(l.size(), 4u);
  EXPECT_EQ(l[0].Type, 6);
  struct Want {
    std::string name;
    int kind;
  } want[] = {{"NAME", 1}, {"", 9}, {"\xC8\xCC", 200}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(l[i + 1].Name, want[i].name);
    EXPECT_EQ(l[i + 1].Type, want[i].kind);
    EXPECT_EQ(l[i + 1].Offset, 0);
    EXPECT_EQ(l[i + 1].Length, 0);
  }
  EXPECT_EQ(Boib, &f); // a caller's file stays set and open
  CreatDefRecord(2, l, rec);
  EXPECT_EQ(l.size(), 7u);
}

TEST_F(DescriptorFileTest, ListsWithoutDescriptors) {
  WriteList(1, {});
  {
    WFile f(path);
    f.WCreat_file(3);
    Put(f, "only one");
    f.WClose_file(3, true);
  }
  WFile f(path, true);
  Boib = &f;
  WRec rec;
  for (uint32_t n : {0u, 1u, 3u}) { // empty, two records only, one record only
    SCOPED_TRACE(n);
    TZFieldList l;
    CreatDefRecord(static_cast<int32_t>(n), l, rec);
    EXPECT_TRUE(l.empty());
  }
}

TEST_F(DescriptorFileTest, DamagedDescriptorStopsWithTheEarlierOnesKept) {
  WriteList(1, {Long("A") + U8(5), Long("B"), Long("C") + U8(1)}); // B has no kind byte
  WriteList(2, {U16(50) + "short"});                               // a name past its record
  WFile f(path, true);
  Boib = &f;
  TZFieldList l;
  WRec rec;
  EXPECT_THROW(CreatDefRecord(1, l, rec), ZError);
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(l[0].Name, "A");
  l.clear();
  EXPECT_THROW(CreatDefRecord(2, l, rec), ZError);
  EXPECT_TRUE(l.empty());
  EXPECT_THROW(CreatDefRecord(4, l, rec), ZError); // no such logical file
}

TEST_F(DescriptorFileTest, OpensTheAliasFileItselfAndLetsGoOfIt) {
  WriteList(2, {Long("X") + U8(8)});
  CreatePathLists();
  AddPath(dir);
  AddAlias("CFG", 0);
  SortAliases();
  TZFieldList l;
  WRec rec;
  CreatDefRecord(2, l, rec);
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(l[0].Name, "X");
  EXPECT_EQ(Boib, nullptr);
  // a failure on the way empties the handle as well
  EXPECT_THROW(CreatDefRecord(9, l, rec), ZError);
  EXPECT_EQ(Boib, nullptr);
  // the file is closed again: it can be replaced
  EXPECT_TRUE(platform::RemoveFile(path));
  EXPECT_THROW(CreatDefRecord(2, l, rec), ZError);
  EXPECT_EQ(Boib, nullptr);
}

TEST_F(DescriptorFileTest, WithoutAliasesTheFileCannotBeNamed) {
  TZFieldList l;
  WRec rec;
  EXPECT_THROW(CreatDefRecord(2, l, rec), ZError);
  EXPECT_EQ(Boib, nullptr);
}
