// Mass conversion: the selection list, the decisions about existing targets
// and the run, with questions answered through the recording presenter.
#include "AppFixture.h"
#include "DeepTree.h"
#include "FileKinds.h"
#include "FileSearch.h"
#include "MassConversion.h"

#include "BlockBuilder.h"
#include "ModelBuilder.h"
#include "Platform.h"

#include <algorithm>
#include <map>

using namespace samples;

namespace {

ModelSpec Small(uint8_t kind, uint64_t seed, const char *edition = kSourceEdition) {
  return SmallModelSpec(kind, seed, edition);
}

std::string Edition(const std::string &path) {
  const std::string b = ReadFileBytes(path);
  const uint32_t adr = GetU32(b, 8);
  return b.substr(adr + kPrefixSize, GetU16(b, adr + 5));
}

class MassTest : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    Src = Dir + "src" + platform::Separator;
    Dst = Dir + "dst" + platform::Separator;
  }
  void Model(const std::string &rel, uint8_t kind, uint64_t seed,
             const char *edition = kSourceEdition) {
    const std::string p = Src + platform::NativePath(rel);
    ASSERT_TRUE(platform::MakeDirs(p.substr(0, p.find_last_of(platform::Separators))));
    if (kind == KindComposite) {
      CompositeSpec c;
      c.seed = seed;
      c.edition = edition;
      c.models = {Small(1, seed * 3), Small(1, seed * 3 + 1)};
      WriteComposite(p, c);
    } else {
      WriteModel(p, Small(kind, seed, edition));
    }
  }
  // A model whose logical file 2 holds a link beyond the data: listed, fails.
  void Damaged(const std::string &rel) {
    ModelSample s = BuildModel(Small(1, 99));
    PutU32(s.image.bytes, s.image.recordAdr[2][0] + 1, s.image.endAdr + 100);
    ASSERT_TRUE(platform::MakeDirs(Src));
    WriteFileBytes(Src + rel, s.image.bytes);
  }
  MassRequest Request(ExistingTarget policy) {
    MassRequest r;
    r.sourceFolder = Src;
    r.targetFolder = Dst;
    r.policy = policy;
    return r;
  }

  std::string Src, Dst;
};

std::vector<std::string> Paths(const Selection &sel) {
  std::vector<std::string> out;
  for (const auto &r : sel)
    out.push_back(r.header ? "#" + std::to_string(r.kind) : r.text);
  return out;
}

} // namespace

TEST_F(MassTest, SelectionListsKindsInCodeOrderWithHeadersAndTickedFiles) {
  Model("z.IMK", 11, 1);
  Model("b/a.RGF", 9, 2);
  Model("a.IMS", 1, 3);
  Model("c/b.IMS", 1, 4);
  Model("old.IMD", 2, 5, kOtherEdition); // the only IMD: its kind gets no header
  Model("p.imp", 3, 6);
  Model("x.BNPP", 6, 7);
  Model("x.BNP", 5, 8);
  const Selection sel = BuildSelection(*E, Src);
  EXPECT_EQ(Paths(sel), (std::vector<std::string>{
                            "#1", Src + "a.IMS", Src + platform::NativePath("c/b.IMS"), "#3",
                            Src + "p.imp", "#5", Src + "x.BNP", "#6", Src + "x.BNPP", "#9",
                            Src + platform::NativePath("b/a.RGF"), "#11", Src + "z.IMK"}));
  for (const auto &r : sel) {
    EXPECT_EQ(r.enabled, !r.header);
    EXPECT_EQ(r.ticked, !r.header);
    if (r.header) {
      EXPECT_EQ(r.text, KindByCode(r.kind)->description);
    }
  }
  EXPECT_TRUE(Shown.empty()); // the edition check shows nothing
}

TEST_F(MassTest, AddKindToSelectionKeepsOnlyFilesOfTheSourceEdition) {
  Model("a.IMS", 1, 1);
  Model("b.IMS", 1, 2, kOtherEdition);
  WriteFileBytes(Src + "c.IMS", "not a block file");
  std::vector<std::string> files = {Src + "a.IMS", Src + "b.IMS", Src + "c.IMS", Src + "none.IMS"};
  Selection sel;
  AddKindToSelection(*E, 1, files, sel);
  EXPECT_EQ(files, std::vector<std::string>{Src + "a.IMS"});
  EXPECT_EQ(Paths(sel), (std::vector<std::string>{"#1", Src + "a.IMS"}));
  std::vector<std::string> none = {Src + "b.IMS"};
  AddKindToSelection(*E, 2, none, sel);
  EXPECT_EQ(sel.size(), 2u);
}

TEST(MassTargetPath, ReproducesTheSubFolderBelowTheTarget) {
  EXPECT_EQ(MassTargetPath("/s/", "/t/x/", "/s/a/b/f.IMS"), "/t/x/a/b/f.IMS");
  EXPECT_EQ(MassTargetPath("/s/", "/t/", "/s/f.IMS"), "/t/f.IMS");
  EXPECT_EQ(MassTargetPath("/src/", "/t/", "/s"), "/t/"); // never reads past a short path
}

TEST_F(MassTest, ConvertsTheTreeIntoTheSameRelativePlaces) {
  Model("a.IMS", 1, 1);
  Model("d/e/f.BNPM", 8, 2);
  Model("p.IMP", 3, 3);
  const std::string deep = Src + platform::NativePath("d/e/f.BNPM");
  const std::string before = ReadFileBytes(deep);
  std::vector<MassResult> seen;
  std::vector<std::string> events;
  MassRequest req = Request(ExistingTarget::Ask);
  req.onStart = [&](const PlannedFile &f, size_t i, size_t n) {
    events.push_back("start " + std::to_string(i) + "/" + std::to_string(n) + " " + f.source);
  };
  req.onResult = [&](const MassResult &r) {
    seen.push_back(r);
    events.push_back("done " + r.source);
  };
  const MassReport rep = MassConvert(*E, req);
  EXPECT_EQ(rep.status, MassStatus::Done);
  ASSERT_EQ(rep.results.size(), 3u);
  EXPECT_EQ(seen.size(), 3u);
  EXPECT_EQ(events, (std::vector<std::string>{"start 0/3 " + Src + "a.IMS", "done " + Src + "a.IMS",
                                              "start 1/3 " + Src + "p.IMP", "done " + Src + "p.IMP",
                                              "start 2/3 " + deep, "done " + deep}));
  EXPECT_EQ(rep.converted(), 3);
  EXPECT_TRUE(rep.skipped.empty());
  EXPECT_EQ(rep.failed(), 0);
  for (const auto &r : rep.results) {
    EXPECT_TRUE(r.ok()) << r.source;
    EXPECT_EQ(r.outcome.target, MassTargetPath(Src, Dst, r.source));
    EXPECT_EQ(Edition(r.outcome.target), kConvertedEdition);
  }
  EXPECT_EQ(rep.results[0].kind, 1);
  EXPECT_EQ(rep.results[1].kind, 3);
  EXPECT_EQ(rep.results[2].kind, 8);
  EXPECT_EQ(rep.results[2].outcome.target, Dst + platform::NativePath("d/e/f.BNPM"));
  EXPECT_EQ(ReadFileBytes(deep), before);
  EXPECT_EQ(Texts().back(), "Преобразование завершено !");
}

TEST_F(MassTest, RefusalsAndEmptyRunsEndWithTheirMessage) {
  struct Case {
    const char *name;
    bool sameFolder, noFiles, cancelSelection, untickAll;
    MassStatus status;
    const char *message;
  } cases[] = {
      {"same folder", true, false, false, false, MassStatus::SameFolder,
       "Папки \"Откуда\" и \"Куда\" совпадают.\nПреобразование \"сам в себя\" невозможно!"},
      {"nothing found", false, true, false, false, MassStatus::NothingFound,
       "Не найдено ни одного файла"},
      {"selection cancelled", false, false, true, false, MassStatus::Cancelled,
       "Отменено пользователем"},
      {"all unticked", false, false, false, true, MassStatus::Done, "Преобразование завершено !"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    platform::RemoveTree(Src);
    platform::RemoveTree(Dst);
    Shown.clear();
    if (c.noFiles)
      Model("old.IMS", 1, 1, kOtherEdition);
    else
      Model("a.IMS", 1, 1);
    MassRequest req = Request(ExistingTarget::Ask);
    if (c.sameFolder)
      req.targetFolder = req.sourceFolder;
    req.select = [&](Selection &sel) {
      if (c.untickAll)
        for (auto &r : sel)
          if (r.enabled)
            r.ticked = false;
      return !c.cancelSelection;
    };
    const MassReport rep = MassConvert(*E, req);
    EXPECT_EQ(rep.status, c.status);
    EXPECT_TRUE(rep.results.empty());
    ASSERT_EQ(Texts().size(), 1u);
    EXPECT_EQ(Texts()[0], c.message);
    EXPECT_FALSE(platform::DirExists(Dst + "a.IMS"));
    EXPECT_FALSE(platform::FileExists(Dst + "a.IMS"));
  }
}

TEST_F(MassTest, ExistingTargetsFollowThePolicyAndTheAnswers) {
  // Two files whose targets exist; answers decide per file.
  struct Case {
    const char *name;
    ExistingTarget policy;
    std::deque<bool> answers;
    bool runs;
    // For a.IMS and b.IMS: true = replaced, false = "-k" name beside the old one.
    bool replacedA, replacedB;
  } cases[] = {
      {"yes, yes", ExistingTarget::Ask, {true, true}, true, true, true},
      {"no then go on, yes", ExistingTarget::Ask, {false, false, true}, true, false, true},
      {"no then abort", ExistingTarget::Ask, {false, true}, false, false, false},
      {"yes, then no and abort", ExistingTarget::Ask, {true, false, true}, false, false, false},
      {"copy asks nothing", ExistingTarget::Copy, {}, true, false, false},
      {"replace asks nothing", ExistingTarget::Replace, {}, true, true, true},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    platform::RemoveTree(Src);
    platform::RemoveTree(Dst);
    Shown.clear();
    Model("a.IMS", 1, 1);
    Model("b.IMS", 1, 2);
    ASSERT_TRUE(platform::MakeDirs(Dst));
    WriteFileBytes(Dst + "a.IMS", "old a");
    WriteFileBytes(Dst + "b.IMS", "old b");
    Answers = c.answers;
    const MassReport rep = MassConvert(*E, Request(c.policy));
    EXPECT_TRUE(Answers.empty());
    Answers.clear();
    EXPECT_EQ(rep.status, c.runs ? MassStatus::Done : MassStatus::Cancelled);
    if (!c.runs) {
      // Nothing deleted, nothing converted.
      EXPECT_EQ(ReadFileBytes(Dst + "a.IMS"), "old a");
      EXPECT_EQ(ReadFileBytes(Dst + "b.IMS"), "old b");
      EXPECT_EQ(FilesIn(Dst), (std::vector<std::string>{"a.IMS", "b.IMS"}));
      EXPECT_EQ(Texts().back(), "Отменено пользователем");
      continue;
    }
    ASSERT_EQ(rep.results.size(), 2u);
    const bool replaced[] = {c.replacedA, c.replacedB};
    const char *names[] = {"a", "b"};
    for (int i = 0; i < 2; ++i) {
      const std::string target = Dst + names[i] + ".IMS";
      const std::string kname = Dst + names[i] + "-k.IMS";
      EXPECT_TRUE(rep.results[i].ok());
      EXPECT_EQ(rep.results[i].outcome.target, replaced[i] ? target : kname);
      EXPECT_EQ(Edition(rep.results[i].outcome.target), kConvertedEdition);
      if (!replaced[i]) {
        EXPECT_EQ(ReadFileBytes(target), std::string("old ") + names[i]);
      } else {
        EXPECT_FALSE(platform::FileExists(kname));
      }
    }
    // The questions were the replacement question, with the abort question after a No.
    for (const auto &t : Texts())
      EXPECT_TRUE(t.starts_with("Заменить файл?\n" + Dst) || t == "Прервать преобразование?" ||
                  t == "Преобразование завершено !")
          << t;
  }
}

TEST_F(MassTest, AfterAFailureTheAnswerDecidesWhetherTheRunGoesOn) {
  for (bool abort : {true, false}) {
    SCOPED_TRACE(abort ? "abort" : "go on");
    platform::RemoveTree(Src);
    platform::RemoveTree(Dst);
    Shown.clear();
    Model("a.IMS", 1, 1);
    Damaged("b.IMS");
    Model("c.IMS", 1, 3);
    Answers = {abort};
    const MassReport rep = MassConvert(*E, Request(ExistingTarget::Ask));
    EXPECT_EQ(rep.status, MassStatus::Done);
    ASSERT_EQ(rep.results.size(), abort ? 2u : 3u);
    EXPECT_TRUE(rep.results[0].ok());
    EXPECT_FALSE(rep.results[1].ok());
    EXPECT_EQ(rep.failed(), 1);
    EXPECT_FALSE(platform::FileExists(Dst + "b.IMS")); // no half-made target
    EXPECT_EQ(platform::FileExists(Dst + "c.IMS"), !abort);
    EXPECT_EQ(Texts().back(), "Преобразование завершено !");
    EXPECT_NE(std::find(Texts().begin(), Texts().end(), "Прервать преобразование?"), Texts().end());
  }
}

// The window's Cancel: asked before each file, it ends the run there; the
// files before it stay converted and nothing of the others is written.
TEST_F(MassTest, AStopRequestEndsTheRunBeforeTheNextFile) {
  Model("a.IMS", 1, 1);
  Model("b.IMS", 1, 2);
  Model("c.IMS", 1, 3);
  MassRequest req = Request(ExistingTarget::Ask);
  int asked = 0;
  req.shouldStop = [&] { return ++asked == 2; }; // pressed while a.IMS converts
  const MassReport rep = MassConvert(*E, req);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(rep.status, MassStatus::Stopped);
  ASSERT_EQ(rep.results.size(), 1u);
  EXPECT_TRUE(rep.results[0].ok());
  EXPECT_EQ(Edition(Dst + "a.IMS"), kConvertedEdition);
  EXPECT_EQ(FilesIn(Dst), std::vector<std::string>{"a.IMS"});
  EXPECT_EQ(Texts(), std::vector<std::string>{"Отменено пользователем"});
}

TEST_F(MassTest, TheClosingMessageCarriesTheCountsWhenAsked) {
  Model("a.IMS", 1, 1);
  Damaged("b.IMS");
  Model("c.IMS", 1, 3);
  for (bool counts : {false, true}) {
    platform::RemoveTree(Dst);
    Shown.clear();
    MassRequest req = Request(ExistingTarget::Copy);
    req.askAfterFailure = false;
    req.closingCounts = counts;
    MassConvert(*E, req);
    EXPECT_EQ(Texts().back(), counts ? "Преобразование завершено !\n"
                                       "Преобразовано файлов: 2, с ошибкой: 1"
                                     : "Преобразование завершено !");
  }
}

TEST_F(MassTest, WithoutTheFailureQuestionTheRunGoesOn) {
  Damaged("a.IMS");
  Model("b.IMS", 1, 2);
  MassRequest req = Request(ExistingTarget::Copy);
  req.askAfterFailure = false;
  const MassReport rep = MassConvert(*E, req);
  ASSERT_EQ(rep.results.size(), 2u);
  EXPECT_FALSE(rep.results[0].ok());
  EXPECT_TRUE(rep.results[1].ok());
}

// What cannot be looked at is never passed over in silence: a folder that
// cannot be listed and a file that cannot be opened for the edition check
// are reported with the system's reason, whether or not anything is found.
TEST_F(MassTest, WhatCannotBeReadIsReportedAsSkipped) {
  ASSERT_TRUE(platform::MakeDirs(Src));
  if (DeepTree::Unsupported)
    GTEST_SKIP() << DeepTree::Unsupported;
  DeepTree deep(Src, ".IMS", BuildModel(Small(1, 5)).image.bytes);
  const std::vector<std::pair<std::string, std::string>> want = {
      {deep.longFolder, "File name too long"}, {deep.longFile, "File name too long"}};
  auto skipped = [](const MassReport &rep) {
    std::vector<std::pair<std::string, std::string>> got;
    for (const Skipped &k : rep.skipped)
      got.emplace_back(k.path, k.reason);
    return got;
  };

  MassReport rep = MassConvert(*E, Request(ExistingTarget::Copy));
  EXPECT_EQ(rep.status, MassStatus::NothingFound);
  EXPECT_EQ(skipped(rep), want);
  ASSERT_EQ(rep.skipped.size(), 2u);
  EXPECT_EQ(rep.skipped[0].kind, 0) << "a folder has no kind";
  EXPECT_EQ(rep.skipped[1].kind, 1);

  Model("a.IMS", 1, 1);
  rep = MassConvert(*E, Request(ExistingTarget::Copy));
  EXPECT_EQ(rep.status, MassStatus::Done);
  EXPECT_EQ(rep.converted(), 1);
  EXPECT_EQ(skipped(rep), want);
}

// A file of the source edition cut short is listed and fails in the run,
// never passed over in silence.
TEST_F(MassTest, DamagedFileOfTheSourceEditionIsListedAndFails) {
  Model("a.IMS", 1, 1);
  Model("b.IMS", 1, 2);
  Truncate(Src + "a.IMS", ReadFileBytes(Src + "a.IMS").size() - 100);
  MassRequest req = Request(ExistingTarget::Copy);
  req.askAfterFailure = false;
  const MassReport rep = MassConvert(*E, req);
  ASSERT_EQ(rep.results.size(), 2u);
  EXPECT_EQ(rep.results[0].source, Src + "a.IMS");
  EXPECT_FALSE(rep.results[0].ok());
  EXPECT_TRUE(rep.results[1].ok());
  EXPECT_EQ(rep.failed(), 1);
  EXPECT_FALSE(platform::FileExists(Dst + "a.IMS"));
}

TEST_F(MassTest, UntickedRowsAreSkippedAndKindsComeFromTheirHeader) {
  Model("a.IMS", 1, 1);
  Model("b.IMS", 1, 2);
  Model("c.NSF", 10, 3);
  MassRequest req = Request(ExistingTarget::Ask);
  req.select = [&](Selection &sel) {
    for (auto &r : sel)
      if (r.text == Src + "a.IMS")
        r.ticked = false;
    return true;
  };
  const MassReport rep = MassConvert(*E, req);
  ASSERT_EQ(rep.results.size(), 2u);
  EXPECT_EQ(rep.results[0].source, Src + "b.IMS");
  EXPECT_EQ(rep.results[0].kind, 1);
  EXPECT_EQ(rep.results[1].kind, 10);
  EXPECT_FALSE(platform::FileExists(Dst + "a.IMS"));
}

TEST_F(MassTest, TargetInsideTheSourceIsNotConvertedAgain) {
  Model("a.IMS", 1, 1);
  MassRequest req = Request(ExistingTarget::Ask);
  req.targetFolder = Src + "out" + platform::Separator;
  ASSERT_EQ(MassConvert(*E, req).results.size(), 1u);
  // The converted file has edition 5-2.10.3 and is not listed by the next run.
  Answers = {true}; // replace the existing out/a.IMS
  const MassReport again = MassConvert(*E, req);
  ASSERT_EQ(again.results.size(), 1u);
  EXPECT_EQ(again.results[0].source, Src + "a.IMS");
  EXPECT_FALSE(platform::DirExists(Src + "out/out"));
}

namespace {

// Every file below `dir`, relative, with its bytes.
std::map<std::string, std::string> TreeBytes(const std::string &dir) {
  std::vector<std::string> files;
  GetTreeFiles(dir, files);
  std::map<std::string, std::string> out;
  for (const auto &f : files)
    out[f.substr(dir.size())] = ReadFileBytes(f);
  return out;
}

} // namespace

// Files converted side by side are told in list order, each with its own
// messages together, failures do not stop the others, and the files written
// are those of a run one file at a time, also where two files of the run
// compete for a name (a.IMS is taken, so its result goes to a-k.IMS, the
// target of the file a-k.IMS too: the one listed first takes it).
TEST_F(MassTest, FilesSideBySideAreToldInListOrderAndWriteTheSameFiles) {
#ifdef _WIN32
  GTEST_SKIP() << "files are converted one at a time on Windows";
#endif
  Model("a.IMS", 1, 1);
  Model("a-k.IMS", 1, 2);
  Model("d/b.IMD", 2, 3);
  Model("d/p.IMP", 3, 4);
  Damaged("c.IMS");
  for (int i = 0; i < 6; ++i)
    Model("e/m" + std::to_string(i) + ".BNP", 5, 10 + static_cast<uint64_t>(i));
  struct Run {
    std::vector<std::string> events, texts;
    std::map<std::string, std::string> tree;
  };
  auto run = [&](unsigned jobs, const std::string &dst) {
    Run r;
    EXPECT_TRUE(platform::MakeDirs(dst));
    WriteFileBytes(dst + "a.IMS", "taken"); // a.IMS goes to a-k.IMS, as does a-k.IMS
    Shown.clear();
    MassRequest req = Request(ExistingTarget::Copy);
    req.targetFolder = dst;
    req.askAfterFailure = false;
    req.jobs = jobs;
    req.onStart = [&](const PlannedFile &f, size_t i, size_t) {
      r.events.push_back("start " + std::to_string(i) + " " + f.source);
    };
    req.onResult = [&](const MassResult &m) {
      std::string target = m.outcome.target;
      if (target.rfind(dst, 0) == 0)
        target = target.substr(dst.size());
      r.events.push_back("done " + m.source + " " +
                         std::to_string(static_cast<int>(m.outcome.status)) + " " + target);
    };
    const MassReport rep = MassConvert(*E, req);
    EXPECT_EQ(rep.status, MassStatus::Done);
    for (std::string t : Texts()) {
      for (size_t at = t.find(dst); at != std::string::npos; at = t.find(dst))
        t.replace(at, dst.size(), "DST/");
      r.texts.push_back(t);
    }
    r.tree = TreeBytes(dst);
    return r;
  };
  const Run one = run(1, Dir + "one/"), two = run(2, Dir + "two/"), three = run(3, Dir + "three/");
  ASSERT_EQ(one.events.size(), 2 * 11u);
  EXPECT_EQ(two.events, one.events);
  EXPECT_EQ(three.events, one.events);
  EXPECT_EQ(two.texts, one.texts);
  EXPECT_EQ(three.texts, one.texts);
  // "taken", a-k.IMS from the file a-k.IMS (listed first), 8 others; a.IMS
  // fails, as the run wrote its "-k" name, and c.IMS is damaged.
  EXPECT_EQ(one.tree.size(), 10u);
  EXPECT_NE(one.events[3].find("a.IMS 2 a-k.IMS"), std::string::npos) << one.events[3];
  EXPECT_TRUE(two.tree == one.tree);
  EXPECT_TRUE(three.tree == one.tree);
}
