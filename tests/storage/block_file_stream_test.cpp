// Item streams: the record bodies of the three encodings, splitting into
// records, the refusals of WPut, saved positions, and damaged stream records.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "BlockBytes.h"
#include "BlockFile.h"
#include "BlockFileUtils.h"
#include "Messages.h"
#include "RecordBuffer.h"

using namespace bb;

namespace {

const char Delim[] = "\x02";

struct StreamFixture : ::testing::Test {
  TempDir dir;
  std::string path = dir / "s.bf";
  Recorder quiet;
  void SetUp() override { creat_bf(path, 3, "5-2.10.5"); }

  // Record bodies of logical file n, read as plain records.
  std::vector<std::string> Bodies(uint32_t n) {
    WFile f(path, true);
    return bb::ReadAllRecs(f, n);
  }
  // A composite file whose logical file 1 holds the given record bodies.
  void WriteRecords(const std::vector<std::string> &bodies) {
    std::string data;
    for (const auto &b : bodies)
      data += Rec(b);
    data += EndRec();
    const uint32_t first = 8 + 2 * 8;
    const uint32_t end1 = first + static_cast<uint32_t>(data.size());
    WriteAll(path, Header(end1 + 8, 2) + Entry(end1, 8) +
                       Entry(first, static_cast<uint32_t>(data.size())) + data + EndRec());
  }
};

// Every item of a stream by the bool form, until it reports the end.
std::vector<std::string> ReadItems(WFile &f) {
  std::vector<std::string> out;
  char *item = nullptr;
  int len = -1;
  while (f.WGet(&item, len, nullptr))
    out.emplace_back(item, len);
  EXPECT_EQ(len, 0);
  return out;
}

std::vector<std::string> V(std::initializer_list<std::string> l) {
  return l;
}

} // namespace

TEST_F(StreamFixture, EncodingsGiveTheirRecordBodies) {
  struct Case {
    const char *name;
    const char *delimiter;
    int fixedLen;
    std::vector<std::string> items;
    std::string body;
  };
  const std::vector<Case> cases = {
      {"delimited",
       Delim,
       -1,
       {"A", "BC"},
       "A\x02"
       "BC\x02"},
      {"delimited, two bytes", "\r\n", -1, {"A", "BC"}, "A\r\nBC\r\n"},
      {"counted",
       "",
       -1,
       {"A", "BC"},
       std::string("\x01\x00"
                   "A\x02\x00"
                   "BC",
                   7)},
      {"counted, no delimiter text",
       nullptr,
       -1,
       {"A"},
       std::string("\x01\x00"
                   "A",
                   3)},
      {"fixed", nullptr, 2, {"AB", "CD"}, "ABCD"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    {
      WFile f(path);
      f.WBCreatFile(1, c.delimiter, c.fixedLen);
      for (const auto &it : c.items)
        f.WPut(it.data(), static_cast<int>(it.size()));
      f.WBCloseFile(1);
    }
    EXPECT_EQ(Bodies(1), V({c.body}));
    WFile f(path, true);
    EXPECT_EQ(f.WBOpenFile(1, c.delimiter, c.fixedLen), 7 + c.body.size() + 8);
    EXPECT_EQ(ReadItems(f), c.items);
  }
}

TEST_F(StreamFixture, ShortFormsOfOpenAndCreate) {
  {
    WFile f(path);
    f.WBCreatFile(1, 3);
    f.WPut("abc", 3);
    f.WPut("def", 3);
    f.WBCloseFile(1);
    f.WBCreatFile(2, Delim);
    f.WPut("x", 1);
    f.WBCloseFile(2);
  }
  WFile f(path, true);
  f.WBOpenFile(1, 3);
  EXPECT_EQ(ReadItems(f), V({"abc", "def"}));
  f.WBOpenFile(2, Delim);
  EXPECT_EQ(ReadItems(f), V({"x"}));
  EXPECT_EQ(CatchZ([&] { f.WBOpenFile(1, -1); }).HelpContext, 0);
  EXPECT_EQ(CatchZ([&] { f.WBOpenFile(1, Delim, 0); }).HelpContext, 0);
}

TEST_F(StreamFixture, ItemThatWouldPassTheRecordLimitStartsANewRecord) {
  struct Case {
    const char *name;
    const char *delimiter;
    int fixedLen;
    std::vector<int> sizes;   // item lengths put in order
    std::vector<int> records; // body lengths that result
  };
  const std::vector<Case> cases = {
      {"delimited, 20000 bytes", Delim, -1, {9999, 9999}, {10000, 10000}},
      {"delimited, 19998 bytes", Delim, -1, {9998, 9998}, {19998}},
      {"delimited, exactly 19999", Delim, -1, {9999, 9998}, {19999}},
      {"delimited, largest item", Delim, -1, {5, 19998, 5}, {6, 19999, 6}},
      {"counted", "", -1, {10000, 9998, 1}, {10002, 10003}},
      {"counted, 19999 exactly", "", -1, {9998, 9997, 1}, {19999, 3}},
      {"counted, largest item", "", -1, {19997}, {19999}},
      {"fixed", nullptr, 0, {19999, 1}, {19999, 1}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> items;
    {
      WFile f(path);
      f.WBCreatFile(1, c.delimiter, c.fixedLen);
      for (size_t i = 0; i < c.sizes.size(); ++i) {
        items.emplace_back(c.sizes[i], static_cast<char>('a' + i));
        f.WPut(items.back().data(), c.sizes[i]);
      }
      f.WBCloseFile(1);
    }
    std::vector<int> got;
    for (const auto &b : Bodies(1))
      got.push_back(static_cast<int>(b.size()));
    EXPECT_EQ(got, c.records);
    if (c.fixedLen < 0) {
      WFile f(path, true);
      f.WBOpenFile(1, c.delimiter, -1);
      EXPECT_EQ(ReadItems(f), items);
    }
  }
}

TEST_F(StreamFixture, PutRefusals) {
  struct Case {
    const char *name;
    const char *delimiter;
    int fixedLen;
    std::string item;
    int length; // AsItem: the item's size
    std::string text;
  };
  constexpr int AsItem = INT32_MIN;
  const std::string big(19999, 'x');
  const std::vector<Case> cases = {
      {"zero length", Delim, -1, "", 0, " задана нулевая длина логической записи1"},
      {"negative length", Delim, -1, "x", -5, " задана недопустимая длина логической записи -5"},
      {"delimited too long", Delim, -1, big, AsItem,
       " длина логической записи 19999 превышает допустимую 19998"},
      {"counted too long", "", -1, big.substr(0, 19998), AsItem,
       " длина логической записи 19998 превышает допустимую 19997"},
      {"fixed too long", nullptr, 0, big + "x", AsItem,
       " длина логической записи 20000 превышает допустимую 19999"},
      {"delimiter inside", Delim, -1,
       "a\x02"
       "b",
       AsItem, " логическая запись содержит разделитель или нулевой байт"},
      {"zero byte inside", Delim, -1, std::string("a\0b", 3), AsItem,
       " логическая запись содержит разделитель или нулевой байт"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    {
      WFile f(path);
      f.WBCreatFile(1, c.delimiter, c.fixedLen);
      f.WPut("ok", 2);
      const int len = c.length == AsItem ? static_cast<int>(c.item.size()) : c.length;
      ZError e = CatchZ([&] { f.WPut(c.item.data(), len); });
      EXPECT_EQ(e.HelpContext, 0);
      EXPECT_EQ(e.Message, "Для файла " + f.Name + c.text);
      f.WBCloseFile(1);
    }
    // The stream goes on: what was put before the refusal is stored.
    WFile f(path, true);
    f.WBOpenFile(1, c.delimiter, c.fixedLen < 0 ? -1 : 2);
    EXPECT_EQ(ReadItems(f), V({"ok"}));
  }
}

TEST_F(StreamFixture, PutWithoutCreationIsRefused) {
  WFile f(path);
  EXPECT_EQ(CatchZ([&] { f.WPut("a", 1); }).Message, "Невозможна запись в несуществующий файл TMP");
}

TEST_F(StreamFixture, SavedPositionReturnsTheEarlierItem) {
  // Three records: (a1 a2) (b1 b2) (c1), items of 9000 bytes.
  std::vector<std::string> items;
  for (const char *p : {"a1", "a2", "b1", "b2", "c1"})
    items.push_back(std::string(p) + std::string(8998, p[0]));
  {
    WFile f(path);
    f.WBCreatFile(1, Delim);
    for (const auto &it : items)
      f.WPut(it.data(), static_cast<int>(it.size()));
    f.WBCloseFile(1);
  }
  ASSERT_EQ(Bodies(1).size(), 3u);
  WFile f(path, true);
  f.WBOpenFile(1, Delim);
  char *item = nullptr;
  int len = 0;
  std::vector<FullAdr> saved;
  for (size_t i = 0; i < items.size(); ++i) {
    ASSERT_TRUE(f.WGet(&item, len, nullptr));
    EXPECT_EQ(std::string(item, len), items[i]);
    saved.push_back(f.ItemAt);
  }
  EXPECT_FALSE(f.WGet(&item, len, nullptr));
  // Back to the second item (first record), then on from there.
  FullAdr at = saved[1];
  EXPECT_EQ(f.WGet(&item, &at), static_cast<int>(items[1].size()));
  EXPECT_EQ(std::string(item, items[1].size()), items[1]);
  ASSERT_TRUE(f.WGet(&item, len, nullptr));
  EXPECT_EQ(std::string(item, len), items[2]);
  // An item of the record in the buffer, without reading it again.
  at = saved[3];
  ASSERT_TRUE(f.WGet(&item, len, &at));
  EXPECT_EQ(std::string(item, len), items[3]);
  at = saved[0];
  ASSERT_TRUE(f.WGet(&item, len, &at));
  EXPECT_EQ(std::string(item, len), items[0]);
}

TEST_F(StreamFixture, SavedPositionRightAfterOpeningReadsTheRecord) {
  {
    WFile f(path);
    f.WBCreatFile(1, Delim);
    f.WPut("one", 3);
    f.WBCloseFile(1);
    f.WBCreatFile(2, Delim);
    f.WPut("two", 3);
    f.WBCloseFile(2);
  }
  WFile f(path, true);
  f.WBOpenFile(1, Delim);
  char *item = nullptr;
  int len = 0;
  ASSERT_TRUE(f.WGet(&item, len, nullptr));
  EXPECT_EQ(std::string(item, len), "one");
  // After opening logical file 2 the buffer still holds the record of
  // logical file 1; a position in logical file 2 must read its own record.
  f.WBOpenFile(2, Delim);
  FullAdr at{f.Dir[2].Adr, 0};
  ASSERT_TRUE(f.WGet(&item, len, &at));
  EXPECT_EQ(std::string(item, len), "two");
}

TEST_F(StreamFixture, DamagedStreamRecords) {
  struct Case {
    const char *name;
    const char *delimiter;
    int fixedLen;
    std::string body;
    std::vector<std::string> before; // items read before the refusal
    std::string text;
  };
  const std::vector<Case> cases = {
      {"last delimiter missing",
       Delim,
       -1,
       "A\x02"
       "B",
       {"A"},
       " не найден конец логической записи"},
      {"zero byte before delimiter",
       Delim,
       -1,
       std::string("A\0\x02", 3),
       {},
       " не найден конец логической записи"},
      {"delimiter only after a zero byte",
       Delim,
       -1,
       std::string("A\x02"
                   "B\0C\x02",
                   6),
       {"A"},
       " не найден конец логической записи"},
      {"count beyond the record",
       "",
       -1,
       std::string("\x05\x00"
                   "A",
                   3),
       {},
       " длина записи превышает длину остатка буфера"},
      {"half a count",
       "",
       -1,
       std::string("\x01\x00"
                   "A\x01",
                   4),
       {"A"},
       " длина записи превышает длину остатка буфера"},
      {"fixed item past the body",
       nullptr,
       2,
       "ABC",
       {"AB"},
       " длина записи превышает длину остатка буфера"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    WriteRecords({c.body});
    WFile f(path, true);
    f.WBOpenFile(1, c.delimiter, c.fixedLen);
    char *item = nullptr;
    int len = 0;
    for (const auto &want : c.before) {
      ASSERT_TRUE(f.WGet(&item, len, nullptr));
      EXPECT_EQ(std::string(item, len), want);
    }
    ZError e = CatchZ([&] { f.WGet(&item, len, nullptr); });
    EXPECT_EQ(e.HelpContext, 0);
    EXPECT_EQ(e.Message, "Для файла " + f.Name + c.text);
  }
}

// A record whose link leads back to itself: a reader that bounded the chain
// by the number of records it could hold would hand out thousands of copies
// of a large record before refusing it; no chain may yield more than the file.
TEST_F(StreamFixture, StreamThroughALoopingChainEndsBeforeTheFileIsReadTwice) {
  const uint32_t first = 8 + 2 * 8;
  const std::string body(10000, 'x');
  const std::string loop = Rec(0, first, body);
  const uint32_t end1 = first + static_cast<uint32_t>(loop.size());
  WriteAll(path, Header(end1 + 8, 2) + Entry(end1, 8) +
                     Entry(first, static_cast<uint32_t>(loop.size())) + loop + EndRec());
  WFile f(path, true);
  f.WBOpenFile(1, nullptr, 1);
  char *item = nullptr;
  int len = 0;
  uint64_t items = 0;
  ZError e = CatchZ([&] {
    while (f.WGet(&item, len, nullptr))
      ++items;
  });
  EXPECT_NE(e.Message.find("зациклена"), std::string::npos) << e.Message;
  EXPECT_LE(items, body.size()) << "the looping record was read more than once";
}

TEST_F(StreamFixture, SavedPositionOutsideTheBodyIsRefused) {
  const std::string bodies[] = {"AB\x02",
                                std::string("\x01\x00"
                                            "A",
                                            3),
                                "ABC"};
  for (int kind : {0, 1, 2}) {
    SCOPED_TRACE(kind);
    WriteRecords({bodies[kind]});
    WFile f(path, true);
    f.WBOpenFile(1, kind == 0 ? Delim : "", kind == 2 ? 1 : -1);
    char *item = nullptr;
    int len = 0;
    ASSERT_TRUE(f.WGet(&item, len, nullptr));
    FullAdr at{f.ItemAt.Adr, 4};
    EXPECT_EQ(CatchZ([&] { f.WGet(&item, len, &at); }).Message,
              "Для файла " + f.Name + " длина записи превышает длину остатка буфера");
  }
}

TEST_F(StreamFixture, LengthFormsStopAtAnEmptyItem) {
  WriteRecords({"A\x02\x02"
                "BC\x02"});
  {
    WFile f(path, true);
    f.WBOpenFile(1, Delim);
    char *item = nullptr;
    EXPECT_EQ(f.WGet(&item), 1);
    EXPECT_EQ(f.WGet(&item), 0); // the empty item
    EXPECT_EQ(f.WGet(&item), 2);
    EXPECT_EQ(f.WGet(&item), 0); // the end
  }
  {
    WFile f(path, true);
    f.WBOpenFile(1, Delim);
    EXPECT_EQ(ReadItems(f), V({"A", "", "BC"}));
  }
  {
    WFile f(path, true);
    f.WBOpenFile(1, Delim);
    char dest[8] = "-------";
    EXPECT_EQ(f.WGet(dest), 1);
    EXPECT_EQ(std::string(dest), "A------");
    int len = -1;
    EXPECT_TRUE(f.WGet(dest, len));
    EXPECT_EQ(len, 0);
    EXPECT_TRUE(f.WGet(dest, len));
    EXPECT_EQ(std::string(dest, len), "BC");
    EXPECT_FALSE(f.WGet(dest, len));
    EXPECT_EQ(len, 0);
  }
}

TEST_F(StreamFixture, ReadingGoesOnWhileAnotherLogicalFileIsWritten) {
  {
    WFile f(path);
    f.WBCreatFile(1, Delim);
    for (const char *s : {"one", "two", "three"}) {
      const std::string big = s + std::string(12000, '.');
      f.WPut(big.data(), static_cast<int>(big.size()));
    }
    f.WBCloseFile(1);
  }
  WFile f(path);
  f.WBOpenFile(1, Delim);
  std::vector<std::string> got;
  char *item = nullptr;
  int len = 0;
  while (f.WGet(&item, len, nullptr)) {
    got.emplace_back(item, 5);
    // A commit moves the physical position and reopens the file.
    f.WBCreatFile(2, Delim);
    f.WPut(item, 5);
    f.WBCloseFile(2);
  }
  EXPECT_EQ(got, V({"one..", "two..", "three"}));
  f.WBOpenFile(2, Delim);
  EXPECT_EQ(ReadItems(f), V({"three"}));
}

TEST_F(StreamFixture, WrongLogicalFileNumber) {
  WFile f(path);
  EXPECT_EQ(CatchZ([&] { f.WBOpenFile(3, Delim); }).Message,
            "Для файла " + f.Name + " неверен номер лог. файла 3");
  EXPECT_EQ(CatchZ([&] { f.WBCreatFile(3, Delim); }).Message,
            "Для файла " + f.Name + " неверен номер лог. файла 3");
}

TEST_F(StreamFixture, CreatingWhileAnotherCreationIsOpenCommitsItFirst) {
  {
    WFile f(path);
    f.WBCreatFile(1, Delim);
    f.WPut("kept", 4);
    ZError e = CatchZ([&] { f.WBCreatFile(2, Delim); });
    EXPECT_EQ(e.Message, "Для файла " + f.Name + " не выполнено закрытие файла 1");
    EXPECT_EQ(f.OpenLog, EmptyAdr);
  }
  EXPECT_TRUE(quiet.shown.empty()); // nothing was left open at destruction
  EXPECT_EQ(Bodies(1), V({"kept\x02"}));
  EXPECT_EQ(Bodies(2), V({}));
}

TEST_F(StreamFixture, SimpleFileStream) {
  const std::string simple = dir / "simple.bf";
  {
    WFile f(simple, zfmCreate);
    f.WBCreatFile(0, "");
    f.WPut("alpha", 5);
    f.WPut("be", 2);
    f.WBCloseFile(0);
  }
  EXPECT_EQ(ReadAll(simple), Rec(std::string("\x05\x00"
                                             "alpha\x02\x00"
                                             "be",
                                             11)) +
                                 EndRec());
  WFile f(simple, zfmRead);
  EXPECT_EQ(f.WBOpenFile(0, ""), ReadAll(simple).size());
  EXPECT_EQ(ReadItems(f), V({"alpha", "be"}));
}

TEST_F(StreamFixture, DestroyingAnOpenWriteStreamKeepsItsItems) {
  {
    WFile f(path);
    f.WBCreatFile(1, Delim);
    f.WPut("pending", 7);
  }
  ASSERT_EQ(quiet.shown.size(), 1u); // the unclosed creation is reported
  EXPECT_EQ(Bodies(1), V({"pending\x02"}));
}
