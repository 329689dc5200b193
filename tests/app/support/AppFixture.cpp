#include "AppFixture.h"

#include <algorithm>
#include <cstdlib>

#include "Platform.h"

void AppTest::SetUp() {
  Dir = platform::MakeTempDir("zepconv-app-test-");
  ASSERT_FALSE(Dir.empty());
  SysTmp = Dir + "systmp";
  ASSERT_TRUE(platform::MakeDirs(SysTmp));
  if (const char *t = std::getenv("TMPDIR")) {
    HadTmp = true;
    OldTmp = t;
  }
  setenv("TMPDIR", SysTmp.c_str(), 1);
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
  if (HadTmp)
    setenv("TMPDIR", OldTmp.c_str(), 1);
  else
    unsetenv("TMPDIR");
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

std::vector<std::string> AppTest::Texts() const {
  std::vector<std::string> t;
  for (const auto &r : Shown)
    t.push_back(r.Text);
  return t;
}
