// The per-file driver: edition gate, same-file refusal, existing targets,
// target folders and dispatch by kind.
#include <gtest/gtest.h>

#include <cstdio>

#include "AppFixture.h"
#include "Conversion.h"
#include "Expected.h"
#include "ModelBuilder.h"
#include "Platform.h"
#include "TestFileSystem.h"

namespace {

const std::string SelfText =
    "Файлы \"Откуда\" и \"Куда\" совпадают.\nПреобразование \"сам в себя\" невозможно!";

std::string EditionText(const std::string &source) {
  return "Ошибка!\nФайл " + source +
         "\nимеет неверный шифр редакции\nТребуется файл редакции 2.10.5";
}

// A system error code as the "[Win=XXXXXXXX]" of a message writes it.
std::string Hex8(int code) {
  char buf[9];
  std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(code));
  return buf;
}

std::string FailText(const std::string &source) {
  return "файл " + source + "\nне удается преобразовать";
}

class ConvertFileTest : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    samples::ModelSpec shape;
    shape.kind = 1;
    shape.seed = 17;
    Sample = samples::WriteModel(Path("s.IMS"), shape);
    Want = expect::Model(Sample, 1);
    SourceBytes = samples::ReadFileBytes(Path("s.IMS"));
  }
  void ExpectSourceUnchanged() { EXPECT_EQ(samples::ReadFileBytes(Path("s.IMS")), SourceBytes); }
  // Converting the source into each of `targets` under every policy is
  // refused with one message, and the source stays as it was.
  void RefusedAsSelf(const std::vector<std::string> &targets) {
    for (const std::string &target : targets) {
      for (ExistingTarget policy :
           {ExistingTarget::Copy, ExistingTarget::Replace, ExistingTarget::Ask}) {
        SCOPED_TRACE(target + " policy " + std::to_string(int(policy)));
        Shown.clear();
        const ConvertOutcome out = E->ConvertFile(Path("s.IMS"), target, 1, policy);
        EXPECT_FALSE(out.ok());
        EXPECT_EQ(Texts(), std::vector<std::string>{SelfText});
        ExpectSourceUnchanged();
      }
    }
  }

  samples::ModelSample Sample;
  std::string Want, SourceBytes;
};

TEST_F(ConvertFileTest, ExistingTargetPolicies) {
  struct Case {
    const char *what;
    ExistingTarget policy;
    std::deque<bool> answers;
    bool replaced;
  } cases[] = {
      {"copy", ExistingTarget::Copy, {}, false},
      {"replace", ExistingTarget::Replace, {}, true},
      {"ask, yes", ExistingTarget::Ask, {true}, true},
      {"ask, no", ExistingTarget::Ask, {false}, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Shown.clear();
    Answers = c.answers;
    const std::string target = Path("t.IMS");
    samples::WriteFileBytes(target, "old");
    platform::RemoveFile(Path("t-k.IMS"));
    const ConvertOutcome out = E->ConvertFile(Path("s.IMS"), target, 1, c.policy);
    EXPECT_TRUE(out.ok());
    if (c.policy == ExistingTarget::Ask) {
      ASSERT_EQ(Shown.size(), 1u);
      EXPECT_EQ(Shown[0].Kind, mk_YesNo);
      EXPECT_EQ(Shown[0].Text, "Заменить файл?\n" + target);
    } else {
      EXPECT_TRUE(Shown.empty());
    }
    if (c.replaced) {
      EXPECT_EQ(out.target, target);
      EXPECT_EQ(samples::ReadFileBytes(target), Want);
      EXPECT_FALSE(platform::FileExists(Path("t-k.IMS")));
    } else {
      EXPECT_EQ(out.target, Path("t-k.IMS"));
      EXPECT_EQ(samples::ReadFileBytes(target), "old");
      EXPECT_EQ(samples::ReadFileBytes(Path("t-k.IMS")), Want);
    }
    ExpectSourceUnchanged();
    EXPECT_TRUE(TempLeft().empty());
  }
}

TEST_F(ConvertFileTest, NewTargetNeedsNoQuestion) {
  const ConvertOutcome out = E->ConvertFile(Path("s.IMS"), Path("new.IMS"), 1, ExistingTarget::Ask);
  EXPECT_TRUE(out.ok());
  EXPECT_EQ(out.target, Path("new.IMS"));
  EXPECT_TRUE(Shown.empty());
  EXPECT_EQ(samples::ReadFileBytes(Path("new.IMS")), Want);
}

// The converter loads no aliases, so a "#" in a real folder or file name is
// part of the path, not an alias reference.
TEST_F(ConvertFileTest, PathsWithHashConvert) {
  ASSERT_TRUE(platform::MakeDirs(Path("data#1")));
  ASSERT_TRUE(platform::CopyPlainFile(Path("s.IMS"), Path("data#1/s#2.IMS")));
  EXPECT_TRUE(E->IsSourceEdition(Path("data#1/s#2.IMS")));
  const ConvertOutcome out =
      E->ConvertFile(Path("data#1/s#2.IMS"), Path("out#3/t.IMS"), 1, ExistingTarget::Ask);
  EXPECT_TRUE(out.ok());
  EXPECT_TRUE(Shown.empty());
  EXPECT_EQ(samples::ReadFileBytes(Path("out#3/t.IMS")), Want);
}

TEST_F(ConvertFileTest, ExistingKNameIsReplaced) {
  samples::WriteFileBytes(Path("t.IMS"), "old");
  samples::WriteFileBytes(Path("t-k.IMS"), "older copy");
  EXPECT_TRUE(E->ConvertFile(Path("s.IMS"), Path("t.IMS"), 1, ExistingTarget::Copy).ok());
  EXPECT_EQ(samples::ReadFileBytes(Path("t.IMS")), "old");
  EXPECT_EQ(samples::ReadFileBytes(Path("t-k.IMS")), Want);
  EXPECT_EQ(FilesIn(Dir), (std::vector<std::string>{"s.IMS", "systmp", "t-k.IMS", "t.IMS"}));
}

TEST_F(ConvertFileTest, KNameStaysInTheFileNameAndFoldersAreMade) {
  const std::string folder = Path("data.2010/deeper/");
  ASSERT_TRUE(platform::MakeDirs(folder));
  samples::WriteFileBytes(folder + "obj.v2.IMS", "old");
  const ConvertOutcome out =
      E->ConvertFile(Path("s.IMS"), folder + "obj.v2.IMS", 1, ExistingTarget::Copy);
  EXPECT_TRUE(out.ok());
  EXPECT_EQ(out.target, folder + "obj.v2-k.IMS");
  EXPECT_EQ(samples::ReadFileBytes(folder + "obj.v2-k.IMS"), Want);
  EXPECT_FALSE(platform::DirExists(Path("data-k.2010")));

  const ConvertOutcome made =
      E->ConvertFile(Path("s.IMS"), Path("x/y.z/w/t.IMS"), 1, ExistingTarget::Copy);
  EXPECT_TRUE(made.ok());
  EXPECT_EQ(samples::ReadFileBytes(Path("x/y.z/w/t.IMS")), Want);
}

TEST_F(ConvertFileTest, TargetThatIsTheSourceIsRefused) {
  ASSERT_TRUE(platform::MakeDirs(Path("sub")));
  ASSERT_TRUE(testfs::MakeHardLink(Path("s.IMS"), Path("hard.IMS")));
  RefusedAsSelf({Path("s.IMS"), Path("sub/../s.IMS"), Path("./s.IMS"), Path("hard.IMS")});
  EXPECT_FALSE(platform::FileExists(Path("s-k.IMS")));
  EXPECT_FALSE(platform::FileExists(Path("hard-k.IMS")));
  // The engine's own procedures refuse it as well.
  Shown.clear();
  EXPECT_TRUE(E->ConvertModel(Path("s.IMS"), Path("hard.IMS"), 1));
  EXPECT_TRUE(E->ConvertComposite(Path("s.IMS"), Path("hard.IMS")));
  EXPECT_EQ(Texts(), (std::vector<std::string>{SelfText, SelfText}));
  ExpectSourceUnchanged();
}

TEST_F(ConvertFileTest, TargetThatLinksToTheSourceIsRefused) {
  if (!testfs::MakeSymlink(Path("s.IMS"), Path("link.IMS")))
    GTEST_SKIP() << testfs::NoLinks;
  RefusedAsSelf({Path("link.IMS")});
  EXPECT_FALSE(platform::FileExists(Path("link-k.IMS")));
  Shown.clear();
  EXPECT_TRUE(E->ConvertComposite(Path("s.IMS"), Path("link.IMS")));
  EXPECT_EQ(Texts(), (std::vector<std::string>{SelfText}));
  ExpectSourceUnchanged();
}

TEST_F(ConvertFileTest, KNameThatIsTheSourceIsRefused) {
  ASSERT_TRUE(platform::RenameFile(Path("s.IMS"), Path("obj-k.IMS")));
  samples::WriteFileBytes(Path("obj.IMS"), "old");
  const ConvertOutcome out =
      E->ConvertFile(Path("obj-k.IMS"), Path("obj.IMS"), 1, ExistingTarget::Copy);
  EXPECT_FALSE(out.ok());
  EXPECT_EQ(Texts(), std::vector<std::string>{SelfText});
  EXPECT_EQ(samples::ReadFileBytes(Path("obj-k.IMS")), SourceBytes);
  EXPECT_EQ(samples::ReadFileBytes(Path("obj.IMS")), "old");
}

TEST_F(ConvertFileTest, OtherEditionIsRefusedAndTargetKept) {
  samples::ModelSpec shape;
  shape.edition = samples::kOtherEdition;
  samples::WriteModel(Path("o.IMS"), shape);
  samples::WriteFileBytes(Path("t.IMS"), "old");
  Answers = {true};
  const ConvertOutcome out = E->ConvertFile(Path("o.IMS"), Path("t.IMS"), 1, ExistingTarget::Ask);
  EXPECT_FALSE(out.ok());
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Заменить файл?\n" + Path("t.IMS"),
                                               EditionText(Path("o.IMS"))}));
  EXPECT_EQ(samples::ReadFileBytes(Path("t.IMS")), "old");

  Shown.clear();
  EXPECT_FALSE(E->ConvertFile(Path("missing.IMS"), Path("u.IMS"), 1, ExistingTarget::Copy).ok());
  EXPECT_EQ(Texts(), std::vector<std::string>{EditionText(Path("missing.IMS"))});
  EXPECT_FALSE(platform::FileExists(Path("u.IMS")));
}

// A file of the source edition that is damaged beyond its edition record is
// not called a file of another edition: its conversion fails visibly.
TEST_F(ConvertFileTest, DamagedFileOfTheSourceEditionFailsInsteadOfBeingRefused) {
  samples::Truncate(Path("s.IMS"), SourceBytes.size() - 100);
  const ConvertOutcome out = E->ConvertFile(Path("s.IMS"), Path("t.IMS"), 1, ExistingTarget::Copy);
  EXPECT_FALSE(out.ok());
  EXPECT_EQ(Texts(), std::vector<std::string>{FailText(Path("s.IMS"))});
  EXPECT_FALSE(platform::FileExists(Path("t.IMS")));
  EXPECT_TRUE(TempLeft().empty());
}

TEST_F(ConvertFileTest, KindDecidesTheProcedure) {
  // The same file converted as a kind without Boib record keeps logical file 1.
  EXPECT_TRUE(E->ConvertFile(Path("s.IMS"), Path("as5.BNP"), 5, ExistingTarget::Copy).ok());
  EXPECT_EQ(samples::ReadFileBytes(Path("as5.BNP")), expect::Model(Sample, 5));

  samples::CompositeSpec shape;
  shape.seed = 8;
  const samples::CompositeSample cs = samples::WriteComposite(Path("c.IMP"), shape);
  EXPECT_TRUE(E->ConvertFile(Path("c.IMP"), Path("d.IMP"), 3, ExistingTarget::Copy).ok());
  EXPECT_TRUE(samples::ReadFileBytes(Path("d.IMP")) == expect::Composite(cs));

  // A composite given as a model fails: its logical file 1 holds no Boib record.
  Shown.clear();
  EXPECT_FALSE(E->ConvertFile(Path("c.IMP"), Path("e.IMS"), 1, ExistingTarget::Copy).ok());
  EXPECT_EQ(Texts(), std::vector<std::string>{FailText(Path("c.IMP"))});
  EXPECT_FALSE(platform::FileExists(Path("e.IMS")));
}

// The outcome tells a refusal (nothing was done) from a failure (the
// conversion ran), carries the reason, and gives the closing message.
TEST_F(ConvertFileTest, OutcomeTellsRefusalFromFailureWithTheReason) {
  samples::ModelSpec old;
  old.edition = samples::kOtherEdition;
  samples::WriteModel(Path("o.IMS"), old);
  samples::CompositeSpec composite;
  samples::WriteComposite(Path("c.IMP"), composite);
  samples::WriteFileBytes(Path("plain"), "x");
  ASSERT_TRUE(platform::MakeDirs(Path("folder.IMS")));
  struct Case {
    const char *what;
    std::string source, target;
    ConvertStatus status;
    Refusal refusal;
    std::string reason; // empty: none; "*": any text naming the user's files only
    std::string closing;
  } cases[] = {
      {"converted", Path("s.IMS"), Path("t.IMS"), ConvertStatus::Converted, Refusal::None, "",
       "Преобразование завершено."},
      {"same file", Path("s.IMS"), Path("s.IMS"), ConvertStatus::Refused, Refusal::SameFile,
       SelfText, ""},
      {"other edition", Path("o.IMS"), Path("t2.IMS"), ConvertStatus::Refused,
       Refusal::OtherEdition, EditionText(Path("o.IMS")), ""},
      {"missing source", Path("missing.IMS"), Path("t2.IMS"), ConvertStatus::Refused,
       Refusal::NoSource, platform::ErrorText(platform::ErrNotFound), ""},
      {"folder as source", Path("folder.IMS"), Path("t2.IMS"), ConvertStatus::Refused,
       Refusal::NoSource, "это папка, а не файл", ""},
      {"composite given as a model", Path("c.IMP"), Path("t2.IMS"), ConvertStatus::Failed,
       Refusal::None, "*", "Преобразование завершено с ошибкой!"},
      {"target folder is a file", Path("s.IMS"), Path("plain/t.IMS"), ConvertStatus::Failed,
       Refusal::None, Path("plain/t.IMS") + ": " + platform::ErrorText(testfs::FileAsFolder),
       "Преобразование завершено с ошибкой!"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Shown.clear();
    const ConvertOutcome out = E->ConvertFile(c.source, c.target, 1, ExistingTarget::Copy);
    EXPECT_EQ(out.status, c.status);
    EXPECT_EQ(out.refusal, c.refusal);
    if (c.reason == "*")
      ExpectUserNamesOnly(out.reason);
    else
      EXPECT_EQ(out.reason, c.reason);
    EXPECT_EQ(ClosingMessage(out), c.closing);
    if (c.status != ConvertStatus::Converted) {
      EXPECT_FALSE(platform::FileExists(Path("t2.IMS")));
    }
  }
}

TEST_F(ConvertFileTest, FailuresNeverEscape) {
  // The target's folder cannot be made: a plain file stands in its place.
  samples::WriteFileBytes(Path("plain"), "x");
  samples::CompositeSpec shape;
  samples::WriteComposite(Path("c.IMP"), shape);
  ConvertOutcome out;
  EXPECT_NO_THROW(out =
                      E->ConvertFile(Path("c.IMP"), Path("plain/t.IMP"), 3, ExistingTarget::Copy));
  EXPECT_FALSE(out.ok());
  ASSERT_EQ(Shown.size(), 2u);
  EXPECT_EQ(Shown[0].Kind, mk_Error);
  // The error names the user's target, never the temporary name it is written under.
  EXPECT_EQ(Shown[0].Text, Path("plain/t.IMP") + "#(" + platform::ErrorText(testfs::FileAsFolder) +
                               "[Win=" + Hex8(testfs::FileAsFolder) + "])");
  EXPECT_EQ(Shown[1].Text, FailText(Path("c.IMP")));

  Shown.clear();
  EXPECT_NO_THROW(out =
                      E->ConvertFile(Path("s.IMS"), Path("plain/t.IMS"), 1, ExistingTarget::Copy));
  EXPECT_FALSE(out.ok());
  EXPECT_EQ(Texts(), std::vector<std::string>{FailText(Path("s.IMS"))});
  EXPECT_TRUE(TempLeft().empty());
}

} // namespace
