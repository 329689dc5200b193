#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "BlockFile.h"
#include "BoibRecord.h"
#include "Expected.h"
#include "Messages.h"
#include "ModelBuilder.h"
#include "Platform.h"

namespace {

// A Boib record packed by hand: long-form texts, reals as given, other
// numbers zero.
struct Values {
  std::array<std::string, BoibFieldCount> text;
  std::array<double, BoibFieldCount> real{};
};

std::string Pack(const Values &f) {
  std::string out;
  const auto kinds = samples::BoibKinds();
  for (size_t p = 0; p < BoibFieldCount; ++p) {
    switch (kinds[p]) {
    case 1:
      samples::AppendU16(out, static_cast<uint16_t>(f.text[p].size()));
      out += f.text[p];
      break;
    case 5:
      out += '\0';
      break;
    case 6:
    case 10:
      out += std::string(2, '\0');
      break;
    case 7:
    case 8:
      out += std::string(4, '\0');
      break;
    case 9: {
      char b[8];
      std::memcpy(b, &f.real[p], 8);
      out.append(b, 8);
      break;
    }
    }
  }
  return out;
}

void Load(WRec &rec, const std::string &bytes) {
  ASSERT_LE(bytes.size(), static_cast<size_t>(rec.Capacity()));
  std::memcpy(rec.Data, bytes.data(), bytes.size());
  rec.Len = static_cast<uint16_t>(bytes.size());
  rec.Flag = 0x25;
  rec.Next = 1234;
}

std::string Body(const WRec &rec) {
  return std::string(rec.Data, rec.Len);
}

TEST(BoibFieldList, KindsAndTotals) {
  BoibFieldList fields;
  ASSERT_EQ(fields.List.size(), 612u);
  std::map<int, int> perKind;
  for (const TZTabField &f : fields.List) {
    ++perKind[f.Type];
    EXPECT_TRUE(f.Name.empty());
    EXPECT_EQ(f.Offset, 0);
    EXPECT_EQ(f.Length, 0);
  }
  EXPECT_EQ(perKind,
            (std::map<int, int>{{1, 84}, {5, 188}, {6, 12}, {7, 12}, {8, 11}, {9, 299}, {10, 6}}));
  // Position by position against the fixture builder's own table.
  const auto &theirs = samples::BoibKinds();
  for (size_t p = 0; p < BoibFieldCount; ++p)
    EXPECT_EQ(fields.List[p].Type, theirs[p]) << "position " << p;
  // A record with every text empty packs to 2876 bytes.
  Boib147 b(fields);
  EXPECT_EQ(StructRec(fields.List, b.Members).size(), 2876u);
}

TEST(BoibFieldList, NamedMembersArePositions) {
  EXPECT_EQ(Boib147::RowPos(1, 1, 0), 96u);
  EXPECT_EQ(Boib147::RowPos(1, 2, 0), 116u);
  EXPECT_EQ(Boib147::RowPos(2, 1, 0), 156u);
  EXPECT_EQ(Boib147::RowPos(3, 3, 19), 275u);
  BoibFieldList fields;
  Boib147 b(fields);
  b.Members.SetReal(381, 7.5);
  b.Members.SetReal(383, 2.25);
  b.Members.SetReal(236 + 4, 9.0);
  EXPECT_EQ(b.FixTotal(), 7.5);
  EXPECT_EQ(b.FixAddend(), 2.25);
  EXPECT_EQ(b.Set3Col2(4), 9.0);
}

// One row of the table in sets 1 and 3 and what the first set must end as.
struct RowCase {
  const char *what;
  double set1[3]; // columns 1..3
  double set3[3];
  bool takesNew; // the first set takes NewCol1..3
};

const RowCase RowCases[] = {
    {"equal", {5, 6, 7}, {5, 6, 7}, true},
    {"equal within tolerance", {0, 0, 0}, {0.5e-10, -0.9e-10, 0.99e-10}, true},
    {"column 1 differs by exactly 1e-10", {1e-10, 6, 7}, {0, 6, 7}, false},
    {"column 2 differs", {5, 6, 7}, {5, 6.001, 7}, false},
    {"column 3 differs", {5, 6, 7}, {5, 6, 8}, false},
    {"all differ", {1, 2, 3}, {4, 5, 6}, false},
    {"already new values in set 1 only", {167, 2300, 3.8}, {0, 0, 0}, false},
};

TEST(ConvertBoibValues, RowTable) {
  BoibFieldList fields;
  for (const RowCase &c : RowCases) {
    SCOPED_TRACE(c.what);
    for (int r : {0, 7, 12, 19}) {
      Boib147 b(fields);
      for (int col = 1; col <= 3; ++col) {
        b.SetRow(1, col, r, c.set1[col - 1]);
        b.SetRow(2, col, r, -99.0);
        b.SetRow(3, col, r, c.set3[col - 1]);
      }
      ConvertBoibValues(b);
      const double want1[3] = {c.takesNew ? NewCol1[r] : c.set1[0],
                               c.takesNew ? NewCol2[r] : c.set1[1],
                               c.takesNew ? NewCol3[r] : c.set1[2]};
      const double newCols[3] = {NewCol1[r], NewCol2[r], NewCol3[r]};
      for (int col = 1; col <= 3; ++col) {
        EXPECT_EQ(b.Row(1, col, r), want1[col - 1]) << "row " << r << " col " << col;
        EXPECT_EQ(b.Row(2, col, r), newCols[col - 1]) << "row " << r << " col " << col;
        EXPECT_EQ(b.Row(3, col, r), newCols[col - 1]) << "row " << r << " col " << col;
      }
    }
  }
}

TEST(ConvertBoibValues, NewColumnsAsTabulated) {
  const double col2[20] = {2300.0,   2260.151, 2531.205, 2843.13, 2260.151, 3500.32, 3500.32,
                           10379.05, 11310.91, 12242.77, 3749.15, 2354.5,   2004.0,  1697.054,
                           1900.46,  2300.0,   1860.38,  1690.04, 2341.34,  2300.0};
  const double col3[20] = {3.8, 3.8,  3.8,   3.8, 3.8, 3.8, 3.8, 3.8, 3.8,   3.8,
                           3.0, 18.0, 106.0, 3.8, 3.8, 3.8, 3.8, 3.8, 205.0, 3.8};
  for (int r = 0; r < 20; ++r) {
    EXPECT_EQ(NewCol1[r], 167.0) << r;
    EXPECT_EQ(NewCol2[r], col2[r]) << r;
    EXPECT_EQ(NewCol3[r], col3[r]) << r;
  }
}

TEST(ConvertBoibValues, FixUp) {
  struct Case {
    double a, b;
    bool fires;
  } cases[] = {{0, 0, false},  {-1, -5, false},  {1e-10, 0, false},  {0, 1e-10, false},
               {0, 0.5, true}, {2e-10, 0, true}, {1234.5, -1, true}, {0.5, 0.5, true}};
  BoibFieldList fields;
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "A=" << c.a << " B=" << c.b);
    Boib147 b(fields);
    b.Members.SetReal(Boib147::PosFixTestA, c.a);
    b.Members.SetReal(Boib147::PosFixTestB, c.b);
    b.SetFixTotal(10.25);
    b.SetFixAddend(0.5);
    ConvertBoibValues(b);
    EXPECT_EQ(b.FixTotal(), c.fires ? 10.75 : 10.25);
    EXPECT_EQ(b.FixAddend(), c.fires ? 1.332 : 0.5);
    // A second conversion adds the new addend once more.
    ConvertBoibValues(b);
    EXPECT_EQ(b.FixTotal(), c.fires ? 10.75 + 1.332 : 10.25);
  }
}

class ConvertBoibTest : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = platform::MakeTempDir("zepconv-boib-test-");
    ASSERT_FALSE(Dir.empty());
    Inner = Dir + "bl";
  }
  void TearDown() override { platform::RemoveTree(Dir); }

  void WriteInner(uint32_t count) {
    samples::WriteFileBytes(Inner, samples::BuildEmptyBlockFile(count, "5-2.10.5").bytes);
  }
  // The records of logical file 149 of the inner file.
  std::vector<std::pair<uint8_t, std::string>> Copies() {
    WFile f(Inner, true);
    f.WOpen_file(BoibLogFile);
    WRec r;
    std::vector<std::pair<uint8_t, std::string>> out;
    while (f.WRead(&r))
      out.emplace_back(r.Flag, Body(r));
    return out;
  }

  BoibFieldList Fields;
  std::string Dir, Inner;
};

TEST_F(ConvertBoibTest, ConvertsGeneratedRecordsExactly) {
  for (uint64_t seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE(seed);
    samples::BoibSpec shape;
    shape.seed = seed;
    shape.bilingual = 0.4;
    shape.shortForm = 0.3;
    const samples::BoibSample s = samples::BuildBoibRecord(shape);
    const std::string want = expect::ConvertedBoib(s);
    WriteInner(150);
    WRec rec;
    Load(rec, s.packed);
    ConvertBoib(rec, Fields, Inner);
    EXPECT_EQ(Body(rec), want);
    EXPECT_EQ(rec.Flag, 0);
    EXPECT_EQ(rec.Next, 1234u); // not touched
    const auto copies = Copies();
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].first, 0);
    std::string padded = want;
    padded.resize(BoibCopyLen, '\0');
    EXPECT_EQ(copies[0].second, padded);
  }
}

TEST_F(ConvertBoibTest, BilingualAndShortTexts) {
  Values f;
  f.text[9] = samples::Bilingual("Russian", "Ukr");
  f.text[410] = "plain";
  std::string packed = Pack(f);
  // Store the text of position 410 in the short form instead: same room.
  const std::string longForm = std::string("\x05\x00", 2) + "plain";
  const size_t at = packed.find(longForm);
  ASSERT_NE(at, std::string::npos);
  packed[at] = 5;
  packed[at + 1] = '\x81';

  WriteInner(150);
  WRec rec;
  Load(rec, packed);
  ConvertBoib(rec, Fields, Inner);
  Values want = f;
  want.text[9] = "Ukr";
  for (int r = 0; r < 20; ++r) {
    want.real[Boib147::RowPos(1, 1, r)] = NewCol1[r]; // all-zero rows are equal rows
    want.real[Boib147::RowPos(1, 2, r)] = NewCol2[r];
    want.real[Boib147::RowPos(1, 3, r)] = NewCol3[r];
    for (int set = 2; set <= 3; ++set) {
      want.real[Boib147::RowPos(set, 1, r)] = NewCol1[r];
      want.real[Boib147::RowPos(set, 2, r)] = NewCol2[r];
      want.real[Boib147::RowPos(set, 3, r)] = NewCol3[r];
    }
  }
  EXPECT_EQ(Body(rec), Pack(want));
  EXPECT_EQ(rec.Len, packed.size() - std::string("\x04Russian\x05").size());
}

TEST_F(ConvertBoibTest, CopyIsCutAt19500Bytes) {
  Values f;
  for (size_t p = 0; p < BoibFieldCount; ++p)
    if (samples::BoibKinds()[p] == 1)
      f.text[p] = std::string(200, static_cast<char>('a' + p % 26));
  const std::string packed = Pack(f);
  ASSERT_GT(packed.size(), 19500u);
  WriteInner(150);
  WRec rec;
  Load(rec, packed);
  ConvertBoib(rec, Fields, Inner);
  EXPECT_EQ(rec.Len, packed.size());
  const auto copies = Copies();
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(copies[0].second, Body(rec).substr(0, 19500));
}

TEST_F(ConvertBoibTest, InnerFileWithoutLogicalFile149IsRefused) {
  WriteInner(149);
  const std::string before = samples::ReadFileBytes(Inner);
  WRec rec;
  Load(rec, Pack(Values{}));
  EXPECT_THROW(ConvertBoib(rec, Fields, Inner), ZError);
  EXPECT_EQ(samples::ReadFileBytes(Inner), before);
  EXPECT_FALSE(platform::FileExists(Inner + "$$"));
}

TEST_F(ConvertBoibTest, ShortRecordIsRefused) {
  WriteInner(150);
  const std::string full = Pack(Values{});
  for (size_t len : {size_t{1}, size_t{100}, full.size() - 1}) {
    WRec rec;
    Load(rec, full.substr(0, len));
    EXPECT_THROW(ConvertBoib(rec, Fields, Inner), ZError) << len;
  }
  // A text whose length runs past the end of the record.
  WRec rec;
  Values f;
  f.text[417] = "x";
  std::string packed = Pack(f);
  const size_t at = packed.find(std::string("\x01\x00x", 3));
  ASSERT_NE(at, std::string::npos);
  samples::PutU16(packed, at, 0x3000);
  Load(rec, packed);
  EXPECT_THROW(ConvertBoib(rec, Fields, Inner), ZError);
  EXPECT_TRUE(Copies().empty());
}

} // namespace
