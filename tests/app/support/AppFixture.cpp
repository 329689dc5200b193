#include "AppFixture.h"

#include "BlockBuilder.h"
#include "Expected.h"
#include "ModelBuilder.h"

#include <algorithm>

#include "Platform.h"

void AppTest::SetUp() {
  Dir = platform::MakeTempDir("zepconv-app-test-");
  ASSERT_FALSE(Dir.empty());
  SysTmp = Dir + "systmp";
  ASSERT_TRUE(platform::MakeDirs(SysTmp));
  HadTmp = platform::GetEnv(platform::TempDirVariable, OldTmp);
  ASSERT_TRUE(platform::SetEnv(platform::TempDirVariable, SysTmp));
  Presenter = std::make_unique<ScopedPresenter>([this](const MsgRequest &r) {
    Shown.push_back(r);
    if (r.Kind == mk_YesNo || r.Kind == mk_Question) {
      if (Answers.empty()) {
        ADD_FAILURE() << "unexpected question: " << r.Text;
        return 0;
      }
      const bool yes = Answers.front();
      Answers.pop_front();
      return yes ? 1 : 0;
    }
    return 0;
  });
  E = std::make_unique<Engine>();
}

void AppTest::TearDown() {
  E.reset();
  Presenter.reset();
  platform::ClearInjectedFailures();
  platform::SetInterruption(0);
  if (HadTmp)
    platform::SetEnv(platform::TempDirVariable, OldTmp);
  else
    platform::UnsetEnv(platform::TempDirVariable);
  EXPECT_TRUE(Answers.empty()) << "questions expected but not asked";
  platform::RemoveTree(Dir);
}

std::vector<std::string> AppTest::TempLeft() const {
  std::vector<platform::DirEntry> entries;
  platform::ListDir(SysTmp, entries);
  std::vector<std::string> names;
  for (const auto &e : entries)
    names.push_back(e.name);
  return names;
}

std::vector<std::string> AppTest::FilesIn(const std::string &folder) const {
  std::vector<platform::DirEntry> entries;
  platform::ListDir(folder, entries);
  std::vector<std::string> names;
  for (const auto &e : entries)
    names.push_back(e.name);
  std::sort(names.begin(), names.end());
  return names;
}

void AppTest::SweepInjectedFailures(std::initializer_list<platform::Op> ops, const std::string &ext,
                                    const std::string &want, const std::function<bool()> &convert) {
  const std::string source = "s" + ext, target = "t" + ext;
  for (platform::Op op : ops) {
    int failures = 0;
    for (int countdown = 0; countdown < 5000; ++countdown) {
      SCOPED_TRACE(testing::Message() << "op " << int(op) << " countdown " << countdown);
      Shown.clear();
      samples::WriteFileBytes(Path(target), "old");
      platform::InjectFailure(op, countdown);
      const bool failed = convert();
      platform::ClearInjectedFailures();
      const std::string got = samples::ReadFileBytes(Path(target));
      EXPECT_TRUE(TempLeft().empty());
      EXPECT_EQ(FilesIn(Dir), (std::vector<std::string>{source, "systmp", target}));
      if (!failed) {
        EXPECT_TRUE(got == want) << "a reported success must give the exact bytes";
        break;
      }
      ++failures;
      ExpectUserNamesOnly(E->FailureReason());
      EXPECT_EQ(got, "old");
      ASSERT_FALSE(Shown.empty());
      EXPECT_EQ(Shown.back().Text, "файл " + Path(source) + "\nне удается преобразовать");
    }
    EXPECT_GT(failures, 0) << "the injection never struck";
  }
}

AppTest::Converted AppTest::WriteSources(uint64_t seed) {
  samples::ModelSpec model;
  model.seed = seed;
  samples::CompositeSpec composite;
  composite.seed = seed + 1;
  return {expect::Model(samples::WriteModel(Path("s.IMS"), model), 1),
          expect::Composite(samples::WriteComposite(Path("s.IMP"), composite))};
}

void AppTest::ExpectUserNamesOnly(const std::string &reason) const {
  EXPECT_FALSE(reason.empty());
  std::vector<std::string> texts = Texts();
  texts.push_back(reason);
  for (const std::string &t : texts) {
    EXPECT_EQ(t.find(".zepconv-"), std::string::npos) << t;
    EXPECT_EQ(t.find(SysTmp), std::string::npos) << t;
    EXPECT_EQ(t.find("/proc/self/fd/"), std::string::npos) << t; // an unnamed work file
  }
}

std::vector<std::string> AppTest::Texts() const {
  std::vector<std::string> t;
  for (const auto &r : Shown)
    t.push_back(r.Text);
  return t;
}
