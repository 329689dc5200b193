// Conversion of composite files (several models in logical file 2).
#include <gtest/gtest.h>

#include "AppFixture.h"
#include "Conversion.h"
#include "Expected.h"
#include "ModelBuilder.h"
#include "Platform.h"

namespace {

using samples::Layout;

std::string FailText(const std::string &source) {
  return "файл " + source + "\nне удается преобразовать";
}

const char EmbedText[] = "Неопределенная ошибка при создании файлов ИМСП";

Layout Messy(uint64_t seed) {
  return MessyLayout(seed, 200);
}

samples::ModelSpec Part(uint8_t kind, uint64_t seed, uint32_t count = 4) {
  samples::ModelSpec m;
  m.kind = kind;
  m.seed = seed;
  m.count = count;
  m.innerRecords = 40;
  m.maxChunk = seed % 2 ? 20000 : 3000;
  return m;
}

class CompositeTest : public AppTest {};

struct CompositeCase {
  const char *what;
  uint32_t count;
  std::vector<samples::ModelSpec> models;
  std::vector<std::string> names; // empty: the builder's names
  bool messy;
  Layout::Trailer modelTrailer;
};

samples::ModelSpec Tiny(uint64_t seed) {
  samples::ModelSpec m = Part(1, seed);
  m.innerRecords = 3;
  m.innerMaxRecord = 200;
  m.lf1Records = 1;
  m.otherRecords = 1;
  m.otherMaxRecord = 100;
  return m;
}

std::vector<CompositeCase> CompositeCases() {
  return {
      {"three models, five logical files", 5, {}, {}, false, Layout::Trailer::Valid},
      {"one model", 4, {Part(1, 3)}, {}, false, Layout::Trailer::Valid},
      {"one model without Boib record", 4, {Part(5, 4)}, {}, true, Layout::Trailer::None},
      {"three logical files", 3, {Part(1, 5), Part(1, 6)}, {}, false, Layout::Trailer::Valid},
      {"five models, messy",
       7,
       {Part(1, 7), Part(2, 8, 3), Part(11, 9, 6), Part(1, 10), Part(9, 11)},
       {"A.IMS", "\xCC\xEE\xE4\xE5\xEB\xFC.IMS", "b", "../../up.IMS", "/abs/olute.IMS"},
       true,
       Layout::Trailer::None},
      // Converted, the last model (without its Boib record) is shorter than
      // one record of the composite: its header is still waiting to be
      // written when its lengths are known.
      {"last model smaller than a record",
       4,
       {Part(1, 14), Tiny(15)},
       {},
       false,
       Layout::Trailer::Valid},
      {"more names than models",
       4,
       {Part(1, 12), Part(1, 13)},
       {"one", "two", "three"},
       false,
       Layout::Trailer::Valid},
  };
}

TEST_F(CompositeTest, ConvertsCompositesExactly) {
  uint64_t seed = 40;
  for (const CompositeCase &c : CompositeCases()) {
    SCOPED_TRACE(c.what);
    Shown.clear();
    samples::CompositeSpec shape;
    shape.count = c.count;
    shape.seed = ++seed;
    shape.models = c.models;
    shape.names = c.names;
    shape.modelTrailer = c.modelTrailer;
    if (c.messy)
      shape.layout = Messy(seed);
    const samples::CompositeSample cs = samples::WriteComposite(Path("s.IMP"), shape);
    const std::string before = samples::ReadFileBytes(Path("s.IMP"));

    ASSERT_FALSE(E->ConvertComposite(Path("s.IMP"), Path("t.IMP")))
        << testing::PrintToString(Texts());
    EXPECT_TRUE(Shown.empty()) << testing::PrintToString(Texts());
    EXPECT_TRUE(samples::ReadFileBytes(Path("t.IMP")) == expect::Composite(cs))
        << "converted bytes differ";
    EXPECT_EQ(samples::ReadFileBytes(Path("s.IMP")), before);
    EXPECT_TRUE(TempLeft().empty());
    EXPECT_EQ(FilesIn(Dir), (std::vector<std::string>{"s.IMP", "systmp", "t.IMP"}));
    platform::RemoveFile(Path("t.IMP"));
  }
}

TEST_F(CompositeTest, StoredNamesAreNeverPaths) {
  ASSERT_TRUE(platform::MakeDirs(Path("a/b/cwd")));
  const std::string abs = Path("absolute.IMS");
  samples::CompositeSpec shape;
  shape.models = {Part(1, 1), Part(1, 2), Part(1, 3)};
  shape.names = {"../../escaped.IMS", abs, "../AAx"};
  const samples::CompositeSample cs = samples::WriteComposite(Path("s.IMP"), shape);
  const std::string oldCwd = platform::CurrentDir();
  ASSERT_TRUE(platform::SetCurrentDir(Path("a/b/cwd")));
  const bool failed = E->ConvertComposite(Path("s.IMP"), Path("t.IMP"));
  ASSERT_TRUE(platform::SetCurrentDir(oldCwd));
  ASSERT_FALSE(failed);
  EXPECT_TRUE(FilesIn(Path("a/b/cwd")).empty());
  EXPECT_EQ(FilesIn(Path("a")), std::vector<std::string>{"b"});
  EXPECT_EQ(FilesIn(Dir), (std::vector<std::string>{"a", "s.IMP", "systmp", "t.IMP"}));
  EXPECT_TRUE(samples::ReadFileBytes(Path("t.IMP")) == expect::Composite(cs));
}

TEST_F(CompositeTest, SameSourceTwiceGivesIdenticalFiles) {
  samples::CompositeSpec shape;
  shape.seed = 3;
  shape.layout = Messy(3);
  samples::WriteComposite(Path("s.IMP"), shape);
  ASSERT_FALSE(E->ConvertComposite(Path("s.IMP"), Path("1.IMP")));
  ASSERT_FALSE(E->ConvertComposite(Path("s.IMP"), Path("2.IMP")));
  EXPECT_EQ(samples::ReadFileBytes(Path("1.IMP")), samples::ReadFileBytes(Path("2.IMP")));
}

// A failing part: its own message, the embedding message, then the
// composite's; no target, the old one kept, nothing left over.
TEST_F(CompositeTest, FailingPartFailsTheComposite) {
  struct Case {
    const char *what;
    size_t bad; // which part is damaged
    samples::ModelSpec damaged;
  };
  samples::ModelSpec fewInner = Part(1, 20);
  fewInner.innerCount = 100; // no logical file 149 for the Boib copy
  samples::ModelSpec noBoib = Part(5, 21);
  noBoib.lf1Records = 0; // converted as kind 1, but logical file 1 is empty
  const Case cases[] = {{"first part without logical file 149", 0, fewInner},
                        {"middle part without Boib record", 1, noBoib}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Shown.clear();
    samples::CompositeSpec shape;
    shape.models = {Part(1, 30), Part(1, 31), Part(1, 32)};
    shape.models[c.bad] = c.damaged;
    shape.names = {"P1.IMS", "P2.IMS", "P3.IMS"};
    samples::WriteComposite(Path("s.IMP"), shape);
    samples::WriteFileBytes(Path("t.IMP"), "old");
    EXPECT_TRUE(E->ConvertComposite(Path("s.IMP"), Path("t.IMP")));
    const auto texts = Texts();
    ASSERT_EQ(texts.size(), 3u) << testing::PrintToString(texts);
    EXPECT_EQ(texts[0], FailText(shape.names[c.bad]));
    EXPECT_EQ(texts[1].rfind(EmbedText, 0), 0u) << texts[1];
    EXPECT_EQ(texts[2], FailText(Path("s.IMP")));
    // The reason is the part's own failure, naming the composite and the part.
    ExpectUserNamesOnly(E->FailureReason());
    EXPECT_NE(E->FailureReason().find(Path("s.IMP") + " (модель " + shape.names[c.bad] + ")"),
              std::string::npos)
        << E->FailureReason();
    EXPECT_EQ(samples::ReadFileBytes(Path("t.IMP")), "old");
    EXPECT_TRUE(TempLeft().empty());
    EXPECT_EQ(FilesIn(Dir), (std::vector<std::string>{"s.IMP", "systmp", "t.IMP"}));
  }
}

TEST_F(CompositeTest, FailingLastPart) {
  samples::CompositeSpec shape;
  shape.models = {Part(1, 1), Part(1, 2)};
  samples::CompositeSample cs = samples::BuildComposite(shape);
  // The second model's logical file 2 holds no block file: replace its chunks.
  samples::ModelSample bad = cs.samples[1];
  bad.files[2] = {{1, "no block file"}};
  const std::string badBytes = samples::BuildBlockFile(bad.files).bytes;
  samples::Records lf2;
  bool second = false;
  int starts = 0;
  for (const auto &r : cs.files[2]) {
    if (r.flag != 0)
      second = ++starts == 2;
    if (!second)
      lf2.push_back(r);
  }
  for (auto &r : expect::Embedded(badBytes))
    lf2.push_back(r);
  cs.files[2] = lf2;
  samples::WriteFileBytes(Path("s.IMP"), samples::BuildBlockFile(cs.files).bytes);
  EXPECT_TRUE(E->ConvertComposite(Path("s.IMP"), Path("t.IMP")));
  const auto texts = Texts();
  ASSERT_EQ(texts.size(), 3u) << testing::PrintToString(texts);
  EXPECT_EQ(texts[0], FailText(cs.names[1]));
  EXPECT_EQ(texts[1].rfind(EmbedText, 0), 0u);
  EXPECT_EQ(texts[2], FailText(Path("s.IMP")));
  EXPECT_FALSE(platform::FileExists(Path("t.IMP")));
  EXPECT_TRUE(TempLeft().empty());
}

TEST_F(CompositeTest, DamagedCompositesFailCleanly) {
  struct Case {
    const char *what;
    std::function<void(samples::CompositeSample &)> edit;
  };
  const Case cases[] = {
      {"no record in logical file 2", [](samples::CompositeSample &c) { c.files[2].clear(); }},
      {"data before the first model",
       [](samples::CompositeSample &c) {
         c.files[2].insert(c.files[2].begin(), samples::Record{0, "stray"});
       }},
      {"more models than names",
       [](samples::CompositeSample &c) { c.files[1] = samples::DelimitedStream({"only"}); }},
      {"no names at all", [](samples::CompositeSample &c) { c.files[1].clear(); }},
      {"name without its delimiter",
       [](samples::CompositeSample &c) {
         c.files[1] = {{0, "A\x02"
                           "B"}};
       }},
      {"a part that is not a block file",
       [](samples::CompositeSample &c) {
         c.files[2] = {{1, "junk"}};
         c.files[1] = samples::DelimitedStream({"x"});
       }},
      {"only two logical files", [](samples::CompositeSample &c) { c.files.resize(2); }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Shown.clear();
    samples::CompositeSpec shape;
    shape.models = {Part(1, 1), Part(1, 2)};
    samples::CompositeSample cs = samples::BuildComposite(shape);
    c.edit(cs);
    samples::WriteFileBytes(Path("s.IMP"), samples::BuildBlockFile(cs.files).bytes);
    const std::string before = samples::ReadFileBytes(Path("s.IMP"));
    samples::WriteFileBytes(Path("t.IMP"), "old");
    EXPECT_TRUE(E->ConvertComposite(Path("s.IMP"), Path("t.IMP")));
    ASSERT_FALSE(Shown.empty());
    EXPECT_EQ(Shown.back().Text, FailText(Path("s.IMP")));
    ExpectUserNamesOnly(E->FailureReason());
    EXPECT_EQ(samples::ReadFileBytes(Path("t.IMP")), "old");
    EXPECT_EQ(samples::ReadFileBytes(Path("s.IMP")), before);
    EXPECT_TRUE(TempLeft().empty());
    EXPECT_EQ(FilesIn(Dir), (std::vector<std::string>{"s.IMP", "systmp", "t.IMP"}));
  }
}

// Failures while the source is opened or the target created are shown with
// their own text, then the failure message; nothing escapes.
TEST_F(CompositeTest, OpeningFailuresAreShownAndReported) {
  EXPECT_TRUE(E->ConvertComposite(Path("missing.IMP"), Path("t.IMP")));
  ASSERT_EQ(Shown.size(), 2u);
  EXPECT_EQ(Shown[0].Kind, mk_Error);
  EXPECT_NE(Shown[0].Text.find(Path("missing.IMP")), std::string::npos) << Shown[0].Text;
  EXPECT_EQ(Shown[1].Text, FailText(Path("missing.IMP")));

  Shown.clear();
  samples::WriteComposite(Path("s.IMP"), samples::CompositeSpec{});
  EXPECT_TRUE(E->ConvertComposite(Path("s.IMP"), Path("no/such/folder/t.IMP")));
  ASSERT_EQ(Shown.size(), 2u);
  EXPECT_EQ(Shown[0].Kind, mk_Error);
  EXPECT_EQ(Shown[1].Text, FailText(Path("s.IMP")));
  EXPECT_FALSE(platform::DirExists(Path("no")));
  EXPECT_TRUE(TempLeft().empty());
}

TEST_F(CompositeTest, InjectedFailuresLeaveNothingBehind) {
  samples::CompositeSpec shape;
  shape.models = {Part(1, 1, 3), Part(1, 2, 3)};
  const samples::CompositeSample cs = samples::WriteComposite(Path("s.IMP"), shape);
  const std::string want = expect::Composite(cs);
  SweepInjectedFailures({platform::Op::Open, platform::Op::Write, platform::Op::Rename}, ".IMP",
                        want, [&] { return E->ConvertComposite(Path("s.IMP"), Path("t.IMP")); });
}

} // namespace
