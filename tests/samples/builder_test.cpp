// The fixture builders write what the block file reader reads: every file is
// written here byte by byte and read back through WFile.
#include "BlockBuilder.h"
#include "BlockFile.h"
#include "Checksum.h"
#include "Messages.h"
#include "ModelBuilder.h"
#include "Platform.h"
#include "RecordBuffer.h"
#include "SampleTree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>

using namespace samples;

namespace {

class BuilderTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = platform::MakeTempDir("zep-samples");
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override { platform::RemoveTree(dir_); }
  std::string Path(const std::string &name) const { return dir_ + name; }

  std::string dir_;
};

// Live records of logical file n as WFile reads them.
Records ReadBack(WFile &f, uint32_t n) {
  Records out;
  WRec r;
  f.WOpen_file(n);
  while (f.WRead(&r))
    out.push_back({r.Flag, std::string(r.Data, r.Len)});
  return out;
}

std::vector<Records> ReadAll(const std::string &path) {
  WFile f(path, true);
  std::vector<Records> out;
  for (uint32_t n = 0; n < f.Header.Count; ++n)
    out.push_back(ReadBack(f, n));
  return out;
}

// Logical files with a spread of record sizes, up to the longest allowed.
std::vector<Records> MixedFiles(uint64_t seed) {
  Rng rng(seed);
  std::vector<Records> files(6);
  files[0].push_back({0, kSourceEdition});
  for (size_t n = 1; n < files.size(); ++n) {
    const int count = n == 3 ? 0 : static_cast<int>(rng.Between(1, 12));
    for (int i = 0; i < count; ++i) {
      std::string body = rng.Letters(static_cast<size_t>(rng.Between(1, 3000)));
      files[n].push_back({static_cast<uint8_t>(rng.Between(0, 0x7F)), body});
    }
  }
  files[5].push_back({1, std::string(kMaxBody, 'x')});
  files[5].push_back({0, "A"});
  return files;
}

// The records a reader must return: the given ones without deleted ones.
std::vector<Records> LiveOnly(std::vector<Records> files) {
  for (auto &rs : files)
    std::erase_if(rs, [](const Record &r) { return (r.flag & kDeletedFlag) != 0; });
  return files;
}

bool Same(const std::vector<Records> &a, const std::vector<Records> &b) {
  if (a.size() != b.size())
    return false;
  for (size_t n = 0; n < a.size(); ++n) {
    if (a[n].size() != b[n].size())
      return false;
    for (size_t i = 0; i < a[n].size(); ++i)
      if (a[n][i].flag != b[n][i].flag || a[n][i].body != b[n][i].body)
        return false;
  }
  return true;
}

struct LayoutCase {
  const char *name;
  Layout layout;
};

Layout Make(bool scatter, double plain, double linked, double replaced, uint32_t dead,
            bool explicitLinks) {
  Layout l;
  l.scatter = scatter;
  l.deletedPlain = plain;
  l.deletedLinked = linked;
  l.replaced = replaced;
  l.deadMax = dead;
  l.explicitLinks = explicitLinks;
  return l;
}

} // namespace

TEST_F(BuilderTest, EveryLayoutReadsBackTheSameRecords) {
  const LayoutCase cases[] = {
      {"contiguous", Make(false, 0, 0, 0, 0, false)},
      {"scattered", Make(true, 0, 0, 0, 0, false)},
      {"deleted without link", Make(false, 0.5, 0, 0, 0, false)},
      {"deleted with link", Make(false, 0, 0.5, 0, 0, false)},
      {"replaced", Make(false, 0, 0, 0.5, 0, false)},
      {"dead space", Make(false, 0, 0, 0, 300, false)},
      {"explicit links", Make(false, 0, 0, 0, 0, true)},
      {"everything", Make(true, 0.3, 0.3, 0.3, 200, true)},
  };
  for (const auto &c : cases) {
    for (uint64_t seed = 1; seed <= 4; ++seed) {
      SCOPED_TRACE(std::string(c.name) + " seed " + std::to_string(seed));
      const auto files = MixedFiles(seed);
      Layout l = c.layout;
      l.seed = seed;
      const BlockImage img = BuildBlockFile(files, l);
      WriteFileBytes(Path("f.bf"), img.bytes);
      EXPECT_EQ(img.endAdr, img.bytes.size());
      EXPECT_TRUE(Same(ReadAll(Path("f.bf")), files));
      WFile f(Path("f.bf"), true);
      EXPECT_EQ(f.Header.EndAdr, img.endAdr);
      ASSERT_EQ(f.Header.Count, files.size());
      for (uint32_t n = 0; n < f.Header.Count; ++n) {
        // Len counts live records and the end record only.
        uint32_t live = kEndRecordSize;
        for (const auto &r : files[n])
          live += kPrefixSize + static_cast<uint32_t>(r.body.size());
        EXPECT_EQ(f.WOpen_file(n), live) << "logical file " << n;
        EXPECT_EQ(img.len[n], live);
        EXPECT_EQ(img.recordAdr[n].size(), files[n].size() + 1);
      }
    }
  }
}

TEST_F(BuilderTest, ScatteringReallyMovesRecordsAndAddsDeadRecords) {
  // Guards the builder against silently writing the easy layout.
  const auto files = MixedFiles(7);
  const BlockImage plain = BuildBlockFile(files);
  const BlockImage scattered = BuildBlockFile(files, Make(true, 0.3, 0.3, 0.3, 100, false));
  EXPECT_GT(scattered.bytes.size(), plain.bytes.size());
  bool outOfOrder = false;
  for (const auto &adrs : scattered.recordAdr)
    for (size_t i = 1; i < adrs.size(); ++i)
      outOfOrder |= adrs[i] < adrs[i - 1];
  EXPECT_TRUE(outOfOrder);
  int deleted = 0;
  // Walk the chains by hand and count deleted records passed on the way.
  for (size_t n = 0; n < files.size(); ++n) {
    uint32_t at = scattered.adr[n];
    for (int guard = 0; guard < 10000; ++guard) {
      const uint8_t flag = static_cast<uint8_t>(scattered.bytes[at]);
      const uint32_t link = GetU32(scattered.bytes, at + 1);
      const uint16_t len = GetU16(scattered.bytes, at + 5);
      if (flag & kDeletedFlag)
        ++deleted;
      else if (len == 1 && scattered.bytes[at + 7] == '@')
        break;
      at = link != kEmptyAdr ? link : at + kPrefixSize + len;
    }
  }
  EXPECT_GT(deleted, 0);
}

TEST_F(BuilderTest, DeletedRecordsOfTheCallerAreNotReturned) {
  std::vector<Records> files = {
      {{0, kSourceEdition}}, {{0, "one"}, {kDeletedFlag, "gone"}, {0x85, "gone too"}, {2, "two"}}};
  for (bool scatter : {false, true}) {
    const BlockImage img = BuildBlockFile(files, Make(scatter, 0, 0, 0, 0, false));
    WriteFileBytes(Path("d.bf"), img.bytes);
    EXPECT_TRUE(Same(ReadAll(Path("d.bf")), LiveOnly(files)));
  }
}

TEST_F(BuilderTest, EmptyBlockFileMatchesTheCreationLayout) {
  // N logical files: EndAdr 16N+8, entry i {8N+8+8i, 8}, then N end records.
  const BlockImage img = BuildEmptyBlockFile(3, "");
  ASSERT_EQ(img.bytes.size(), 16u * 3 + 8);
  EXPECT_EQ(GetU32(img.bytes, 0), 16u * 3 + 8);
  EXPECT_EQ(GetU32(img.bytes, 4), 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(GetU32(img.bytes, 8 + 8 * i), 8 * 3 + 8 + 8 * i);
    EXPECT_EQ(GetU32(img.bytes, 12 + 8 * i), 8u);
    EXPECT_EQ(img.bytes.substr(8 * 3 + 8 + 8 * i, 8), std::string("\0\xFF\xFF\xFF\xFF\x01\0@", 8));
  }
  const BlockImage ed = BuildEmptyBlockFile(2, kSourceEdition);
  WriteFileBytes(Path("e.bf"), ed.bytes);
  const auto back = ReadAll(Path("e.bf"));
  ASSERT_EQ(back.size(), 2u);
  ASSERT_EQ(back[0].size(), 1u);
  EXPECT_EQ(back[0][0].body, kSourceEdition);
  EXPECT_TRUE(back[1].empty());
}

TEST_F(BuilderTest, SimpleBlockFileReadsBack) {
  const Records rs = {{0, "first"}, {3, std::string(kMaxBody, 'q')}, {0, "last"}};
  WriteFileBytes(Path("s.bf"), BuildSimpleBlockFile(rs));
  WFile f(Path("s.bf"), zfmRead);
  Records back;
  WRec r;
  while (f.WRead(&r))
    back.push_back({r.Flag, std::string(r.Data, r.Len)});
  EXPECT_TRUE(Same({back}, {rs}));
}

TEST(ChecksumTrailer, AgreesWithTheWorkedExamplesAndTheServiceLayer) {
  struct Case {
    std::string bytes;
    uint32_t sum, carries;
  } cases[] = {
      {"abc", 0x62C4, 0},
      {std::string("\xFF\xFF\xFF\xFF\x01\0\0\0", 8), 0, 1},
      {"", 0, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.bytes.size());
    const std::string t = ChecksumTrailer(c.bytes);
    ASSERT_EQ(t.size(), kTrailerSize);
    EXPECT_EQ(GetU32(t, 0), c.sum);
    EXPECT_EQ(GetU32(t, 4), c.carries);
  }
  // Over several 512-byte blocks, with sums that wrap, the trailer is the
  // pair ASumKs gives when fed block by block.
  Rng rng(3);
  for (size_t n : {511u, 512u, 513u, 5000u, 70001u}) {
    std::string bytes = rng.Bytes(n);
    for (size_t i = 0; i < bytes.size(); i += 7)
      bytes[i] = '\xFF';
    uint32_t s = 0, c = 0;
    for (size_t off = 0; off < n; off += kChecksumBlock)
      ASumKs(std::min<size_t>(kChecksumBlock, n - off), bytes.data() + off, s, c);
    const std::string t = ChecksumTrailer(bytes);
    EXPECT_EQ(GetU32(t, 0), s) << n;
    EXPECT_EQ(GetU32(t, 4), c) << n;
  }
}

TEST_F(BuilderTest, TrailerFollowsTheDataAndIsIgnoredByTheReader) {
  const auto files = MixedFiles(2);
  for (auto kind : {Layout::Trailer::Valid, Layout::Trailer::Wrong}) {
    Layout l;
    l.trailer = kind;
    const BlockImage img = BuildBlockFile(files, l);
    ASSERT_EQ(img.bytes.size(), img.endAdr + kTrailerSize);
    const std::string data = img.bytes.substr(0, img.endAdr);
    EXPECT_EQ(img.bytes.substr(img.endAdr) == ChecksumTrailer(data),
              kind == Layout::Trailer::Valid);
    WriteFileBytes(Path("t.bf"), img.bytes);
    EXPECT_TRUE(Same(ReadAll(Path("t.bf")), files));
  }
}

TEST_F(BuilderTest, StreamingWriterWritesWhatTheMemoryBuilderWrites) {
  const auto files = MixedFiles(5);
  for (bool trailer : {false, true}) {
    {
      BlockWriter w(Path("w.bf"), static_cast<uint32_t>(files.size()));
      // Chains in reverse order, logical file 3 left to Finish.
      for (size_t n = files.size(); n-- > 0;) {
        if (n == 3)
          continue;
        w.Begin(static_cast<uint32_t>(n));
        for (const auto &r : files[n])
          w.Add(r.flag, r.body);
        w.End();
      }
      w.Finish(trailer);
    }
    const std::string bytes = ReadFileBytes(Path("w.bf"));
    EXPECT_TRUE(Same(ReadAll(Path("w.bf")), files));
    const uint32_t end = GetU32(bytes, 0);
    ASSERT_EQ(bytes.size(), end + (trailer ? kTrailerSize : 0));
    if (trailer) {
      EXPECT_EQ(bytes.substr(end), ChecksumTrailer(bytes.substr(0, end)));
    }
  }
}

TEST_F(BuilderTest, StreamingWriterDeadSpaceAndDeletedRecordsAreSkipped) {
  {
    BlockWriter w(Path("w.bf"), 2);
    w.Dead("garbage before everything");
    w.Begin(1);
    w.Add(0, "a");
    w.AddDeleted("dead");
    w.Add(4, "b");
    w.End();
    w.Dead(std::string(100, '\xEE'));
    w.Finish(false);
  }
  const auto back = ReadAll(Path("w.bf"));
  EXPECT_TRUE(Same(back, {{}, {{0, "a"}, {4, "b"}}}));
}

TEST_F(BuilderTest, ByteSurgeryBreaksTheFileWhereAsked) {
  const auto files = MixedFiles(9);
  const BlockImage img = BuildBlockFile(files);
  WriteFileBytes(Path("b.bf"), img.bytes);
  // A link beyond EndAdr: the reader refuses it with code 10.
  SetU32(Path("b.bf"), img.recordAdr[1][0] + 1, img.endAdr + 1);
  {
    WFile f(Path("b.bf"), true);
    WRec r;
    f.WOpen_file(1);
    try {
      f.WRead(&r);
      ADD_FAILURE() << "the broken link was followed";
    } catch (const ZError &e) {
      EXPECT_EQ(e.HelpContext, 10);
    }
  }
  // A zero length: code 9.
  WriteFileBytes(Path("b.bf"), img.bytes);
  SetByte(Path("b.bf"), img.recordAdr[2][0] + 5, 0);
  SetByte(Path("b.bf"), img.recordAdr[2][0] + 6, 0);
  {
    WFile f(Path("b.bf"), true);
    WRec r;
    f.WOpen_file(2);
    EXPECT_THROW(f.WRead(&r), ZError);
  }
  Truncate(Path("b.bf"), 100);
  EXPECT_EQ(platform::FileSize(Path("b.bf")), 100);
  EXPECT_THROW(SetByte(Path("b.bf"), 100, 0), std::out_of_range);
}

// ---- model files ----

TEST(BoibKinds, TableHasTheDocumentedShape) {
  std::map<int, int> perKind;
  int fixed = 0;
  const int width[] = {0, 2, 0, 0, 0, 1, 2, 4, 4, 8, 2, 0};
  for (uint8_t k : BoibKinds()) {
    ++perKind[k];
    fixed += width[k];
  }
  EXPECT_EQ(perKind,
            (std::map<int, int>{{1, 84}, {5, 188}, {6, 12}, {7, 12}, {8, 11}, {9, 299}, {10, 6}}));
  EXPECT_EQ(fixed, kBoibFixedSize);
  // The row table and the fix-up fields are reals.
  for (int p = BoibRowPos(1, 1, 0); p <= BoibRowPos(3, 3, 19); ++p)
    EXPECT_EQ(BoibKinds()[p], 9);
  EXPECT_EQ(BoibRowPos(3, 3, 19), 275);
  for (int p = kBoibFixTestA; p <= kBoibFixAddend; ++p)
    EXPECT_EQ(BoibKinds()[p], 9);
}

TEST(BoibRecord, PackedFormMatchesItsValues) {
  BoibSpec shape;
  shape.bilingual = 0.5;
  shape.shortForm = 0.5;
  const BoibSample b = BuildBoibRecord(shape);
  // Walk the packed bytes by the kinds and compare with the recorded values.
  size_t at = 0;
  int shortSeen = 0, bilingualSeen = 0;
  const std::string &p = b.packed;
  for (int i = 0; i < kBoibFields; ++i) {
    SCOPED_TRACE(i);
    switch (BoibKinds()[i]) {
    case 1: {
      size_t len;
      const uint8_t second = static_cast<uint8_t>(p[at + 1]);
      if (second == 0x81 || second == 0x82) {
        len = static_cast<uint8_t>(p[at]);
        EXPECT_TRUE(b.isShort[i]);
        ++shortSeen;
      } else {
        len = GetU16(p, at);
        EXPECT_FALSE(b.isShort[i]);
      }
      at += 2;
      EXPECT_EQ(p.substr(at, len), b.text[i]);
      bilingualSeen += !b.text[i].empty() && (b.text[i][0] == '\x04' || b.text[i][0] == '\x05');
      at += len;
      break;
    }
    case 9: {
      double v;
      std::memcpy(&v, p.data() + at, 8);
      EXPECT_EQ(v, b.real[i]);
      at += 8;
      break;
    }
    case 5:
      EXPECT_EQ(static_cast<int8_t>(p[at]), b.integer[i]);
      at += 1;
      break;
    case 6:
    case 10:
      EXPECT_EQ(GetU16(p, at), b.integer[i]);
      at += 2;
      break;
    case 7:
      EXPECT_EQ(GetU32(p, at), b.integer[i]);
      at += 4;
      break;
    case 8:
      EXPECT_EQ(static_cast<int32_t>(GetU32(p, at)), b.integer[i]);
      at += 4;
      break;
    }
  }
  EXPECT_EQ(at, p.size());
  EXPECT_GT(shortSeen, 0);
  EXPECT_GT(bilingualSeen, 0);
}

TEST(BoibRecord, RowTableHasEqualAndDifferingRowsAsRecorded) {
  BoibSpec shape;
  shape.seed = 11;
  const BoibSample b = BuildBoibRecord(shape);
  int equal = 0;
  for (int r = 0; r < kBoibRows; ++r) {
    bool same = true;
    for (int col = 1; col <= 3; ++col)
      same &= std::abs(b.real[BoibRowPos(3, col, r)] - b.real[BoibRowPos(1, col, r)]) < 1e-10;
    EXPECT_EQ(same, b.rows[r] == RowRelation::Equal) << "row " << r;
    equal += same;
  }
  EXPECT_GT(equal, 0);
  EXPECT_LT(equal, kBoibRows);
  shape.fixTestA = 0.0;
  shape.fixTestB = 0.5;
  const BoibSample f = BuildBoibRecord(shape);
  EXPECT_EQ(f.real[kBoibFixTestA], 0.0);
  EXPECT_EQ(f.real[kBoibFixTestB], 0.5);
}

TEST_F(BuilderTest, ModelFileHoldsEditionBoibInnerFileAndTheRest) {
  struct Case {
    uint8_t kind;
    uint32_t count;
    bool scatter;
  } cases[] = {{1, 3, false}, {2, 5, true}, {11, 4, false}, {5, 6, true}, {10, 3, false}};
  for (const auto &c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    ModelSpec shape;
    shape.kind = c.kind;
    shape.count = c.count;
    shape.seed = c.kind * 7u;
    shape.layout = Make(c.scatter, 0.2, 0.2, 0.2, 50, false);
    shape.innerLayout = shape.layout;
    shape.layout.trailer = Layout::Trailer::Valid;
    const ModelSample m = WriteModel(Path("m.bf"), shape);
    const auto back = ReadAll(Path("m.bf"));
    ASSERT_EQ(back.size(), c.count);
    EXPECT_TRUE(Same(back, m.files));
    ASSERT_EQ(back[0].size(), 1u);
    EXPECT_EQ(back[0][0].body, kSourceEdition);
    EXPECT_EQ(m.boib.has_value(), c.kind == 1 || c.kind == 2 || c.kind == 11);
    if (m.boib) {
      ASSERT_FALSE(back[1].empty());
      EXPECT_EQ(back[1][0].body, m.boib->packed);
    }
    // Logical file 2: bodies of at most 20000 bytes, the first flagged 1,
    // concatenated to the inner file.
    std::string inner;
    for (size_t i = 0; i < back[2].size(); ++i) {
      EXPECT_LE(back[2][i].body.size(), kMaxBody);
      EXPECT_EQ(back[2][i].flag, i == 0 ? 1 : 0);
      inner += back[2][i].body;
    }
    EXPECT_EQ(inner, m.inner);
    WriteFileBytes(Path("inner.bf"), inner);
    const auto innerBack = ReadAll(Path("inner.bf"));
    ASSERT_GE(innerBack.size(), 150u);
    EXPECT_TRUE(Same(innerBack, m.innerFiles));
    EXPECT_EQ(innerBack[0][0].body, kSourceEdition);
  }
}

TEST_F(BuilderTest, SameSeedSameFileOtherSeedOtherFile) {
  ModelSpec shape;
  shape.layout.scatter = true;
  const std::string a = BuildModel(shape).image.bytes;
  EXPECT_EQ(BuildModel(shape).image.bytes, a);
  shape.seed = 2;
  EXPECT_NE(BuildModel(shape).image.bytes, a);
}

TEST_F(BuilderTest, CompositeHoldsNamesAndModelsInOrder) {
  CompositeSpec shape;
  shape.count = 5;
  shape.layout = Make(true, 0.2, 0.2, 0.2, 40, false);
  const CompositeSample c = WriteComposite(Path("c.bf"), shape);
  ASSERT_EQ(c.models.size(), 3u);
  ASSERT_EQ(c.names.size(), 3u);
  WFile f(Path("c.bf"), true);
  ASSERT_EQ(f.Header.Count, 5u);
  // Logical file 1: records of whole items, each followed by byte 2.
  std::vector<std::string> names;
  for (const auto &r : ReadBack(f, 1)) {
    ASSERT_EQ(r.body.back(), '\x02');
    size_t from = 0;
    for (size_t at; (at = r.body.find('\x02', from)) != std::string::npos; from = at + 1)
      names.push_back(r.body.substr(from, at - from));
  }
  EXPECT_EQ(names, c.names);
  // Logical file 2 split where the flag is not 0.
  std::vector<std::string> models;
  for (const auto &r : ReadBack(f, 2)) {
    if (r.flag != 0)
      models.emplace_back();
    ASSERT_FALSE(models.empty()) << "record before the first flagged one";
    models.back() += r.body;
  }
  EXPECT_EQ(models, c.models);
  // Each embedded model is itself a readable model file with its own trailer.
  for (size_t i = 0; i < models.size(); ++i) {
    WriteFileBytes(Path("part.bf"), models[i]);
    EXPECT_TRUE(Same(ReadAll(Path("part.bf")), c.samples[i].files));
    const uint32_t end = GetU32(models[i], 0);
    ASSERT_EQ(models[i].size(), end + kTrailerSize);
    EXPECT_EQ(models[i].substr(end), ChecksumTrailer(models[i].substr(0, end)));
  }
}

TEST(DelimitedStream, PacksWholeItemsIntoRecordsBelow20000Bytes) {
  std::vector<std::string> items;
  for (int i = 0; i < 300; ++i)
    items.push_back(std::string(100 + i % 7, static_cast<char>('a' + i % 26)));
  const Records rs = DelimitedStream(items);
  ASSERT_GT(rs.size(), 1u);
  std::string all;
  for (const auto &r : rs) {
    EXPECT_LE(r.body.size(), kMaxBody - 1);
    EXPECT_EQ(r.body.back(), '\x02'); // no item spans two records
    all += r.body;
  }
  std::string expect;
  for (const auto &it : items)
    expect += it + '\x02';
  EXPECT_EQ(all, expect);
}

TEST_F(BuilderTest, LargeModelIsWrittenStreamingAndReadsBack) {
  LargeModelSpec shape;
  shape.targetBytes = 3u << 20;
  shape.tempDir = dir_;
  const uint64_t size = WriteLargeModel(Path("big.IMS"), shape);
  EXPECT_GE(size, shape.targetBytes);
  EXPECT_LT(size, shape.targetBytes + (1u << 20));
  const std::string bytes = ReadFileBytes(Path("big.IMS"));
  const uint32_t end = GetU32(bytes, 0);
  ASSERT_EQ(bytes.size(), end + kTrailerSize);
  EXPECT_EQ(bytes.substr(end), ChecksumTrailer(bytes.substr(0, end)));
  const auto back = ReadAll(Path("big.IMS"));
  ASSERT_EQ(back.size(), 5u);
  EXPECT_EQ(back[0][0].body, kSourceEdition);
  BoibSpec boib;
  boib.seed = shape.seed;
  EXPECT_EQ(back[1][0].body, BuildBoibRecord(boib).packed);
  std::string inner;
  for (const auto &r : back[2])
    inner += r.body;
  EXPECT_GT(inner.size(), shape.targetBytes / 2);
  WriteFileBytes(Path("inner.bf"), inner);
  const auto innerBack = ReadAll(Path("inner.bf"));
  ASSERT_EQ(innerBack.size(), 150u);
  EXPECT_EQ(innerBack[0][0].body, kSourceEdition);
  // Only the inner file's temporary is gone from the folder; nothing else was left.
  std::vector<platform::DirEntry> left;
  ASSERT_TRUE(platform::ListDir(dir_, left));
  for (const auto &e : left)
    EXPECT_TRUE(e.name == "big.IMS" || e.name == "inner.bf") << e.name;
}

TEST_F(BuilderTest, SampleTreeHasEveryKindAndTheFilesToPassOver) {
  const auto entries = WriteSampleTree(dir_ + "tree");
  std::map<uint8_t, int> kinds;
  std::map<SampleRole, int> roles;
  for (const auto &e : entries) {
    SCOPED_TRACE(e.path);
    ++roles[e.role];
    if (e.role == SampleRole::Convertible)
      ++kinds[e.kind];
    const std::string path = dir_ + "tree/" + e.path;
    ASSERT_TRUE(platform::FileExists(path));
    WFile f(path, true);
    WRec r;
    f.WOpen_file(0);
    ASSERT_TRUE(f.WRead(&r));
    EXPECT_EQ(std::string(r.Data, r.Len),
              e.role == SampleRole::OtherEdition ? kOtherEdition : kSourceEdition);
  }
  for (uint8_t k : {1, 2, 3, 5, 6, 7, 8, 9, 10, 11})
    EXPECT_GE(kinds[k], 1) << "kind " << int{k};
  for (auto role : {SampleRole::OtherEdition, SampleRole::Damaged, SampleRole::Hidden,
                    SampleRole::WrongExtension})
    EXPECT_GE(roles[role], 1);
}
