#include "PathAliases.h"

#include "BilingualText.h"
#include "Messages.h"
#include "Platform.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class Aliases : public ::testing::Test {
protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    FreePathLists();
    Cfg[CfgDataLangPos] = 0;
  }
  // The lists as the configuration loader would fill them, out of order.
  static void Load() {
    CreatePathLists();
    AddAlias(" doc ", 0);
    AddPath("c:\\ru\\", "c:\\ua\\");
    AddAlias("cfg", 1);
    AddPath(" c:\\prog\\cfg\\ ");
    AddAlias("док", 2);
    AddPath("d:\\дані\\");
    AddAlias("AAA", 3);
    AddPath("a:\\");
    SortAliases();
  }
};

// Runs f and returns the ZError it raises.
template <class F> ZError Raised(F f) {
  try {
    f();
  } catch (const ZError &e) {
    return e;
  }
  ADD_FAILURE() << "no ZError raised";
  return ZError("", -1);
}

TEST_F(Aliases, NamesWithoutHashPassUnchanged) {
  for (const std::string name : {"C:\\DATA\\A.IMS", "/home/u/a b.ims", "", "  x  "})
    EXPECT_EQ(GetRealName(name), name);
  Load();
  EXPECT_EQ(GetRealName("cfg"), "cfg");
}

TEST_F(Aliases, ResolvesAliasAndRest) {
  Load();
  EXPECT_EQ(GetRealName("cfg#cfg.zep"), "C:\\PROG\\CFG\\cfg.zep");
  EXPECT_EQ(GetRealName(" Cfg # cfg.zep "), "C:\\PROG\\CFG\\cfg.zep");
  EXPECT_EQ(GetRealName("aaa#x#y"), "A:\\x#y"); // only the first "#" separates
  EXPECT_EQ(GetRealName("док#f.txt"), "D:\\ДАНІ\\f.txt");
  EXPECT_EQ(GetAliasPath("cfg"), "C:\\PROG\\CFG\\");
}

TEST_F(Aliases, BilingualPathFollowsTheDataLanguage) {
  Load();
  EXPECT_EQ(GetRealName("DOC#a.txt"), "C:\\UA\\a.txt");
  Cfg[CfgDataLangPos] = 1;
  EXPECT_EQ(GetRealName("DOC#a.txt"), "C:\\RU\\a.txt");
  // A ready bilingual text keeps its markers when it is added.
  AddAlias("TWO", static_cast<int>(tPath->size()));
  AddPath(std::string(WADelimRus) + "r\\" + WADelimUkr + "u\\");
  SortAliases();
  EXPECT_EQ(GetRealName("two#f"), "R\\f");
  Cfg[CfgDataLangPos] = 0;
  EXPECT_EQ(GetRealName("two#f"), "U\\f");
}

TEST_F(Aliases, AliasWithoutRestIsItsOwnText) {
  EXPECT_EQ(GetRealName("cfg#"), "CFG"); // no lookup: no lists needed
  EXPECT_EQ(GetRealName(" cfg #  "), "CFG");
}

TEST_F(Aliases, Errors) {
  Load();
  struct Case {
    std::string name;
    int32_t number;
    std::string message;
  };
  const Case cases[] = {
      {"#", 6, "#"},
      {" # ", 6, " # "},
      {"#x", 7, ""},
      {"nope#x", 7, "NOPE"},
      {"C:\\Data#1\\a.ims", 7, "C:\\DATA"},
  };
  for (const Case &c : cases) {
    const ZError e = Raised([&] { GetRealName(c.name); });
    EXPECT_EQ(e.HelpContext, c.number) << c.name;
    EXPECT_EQ(e.Message, c.message) << c.name;
  }
  EXPECT_EQ(creat_msg(Raised([] { GetRealName("#"); }).Message, 6), "Не задано iм'я файлу #");
}

TEST_F(Aliases, WithoutListsEveryAliasFails) {
  ZError e = Raised([] { GetRealName("cfg#cfg.zep"); });
  EXPECT_EQ(e.HelpContext, 7);
  EXPECT_EQ(e.Message, "CFG");
  Load();
  EXPECT_NO_THROW(GetRealName("cfg#cfg.zep"));
  FreePathLists();
  EXPECT_EQ(tAlias, nullptr);
  EXPECT_EQ(tPath, nullptr);
  e = Raised([] { GetAliasPath("cfg"); });
  EXPECT_EQ(e.HelpContext, 7);
}

TEST_F(Aliases, CreatingAgainKeepsTheLists) {
  Load();
  CreatePathLists();
  EXPECT_EQ(GetRealName("cfg#x"), "C:\\PROG\\CFG\\x");
}

TEST_F(Aliases, IndexWithoutPathIsAnUnknownAlias) {
  Load();
  AddAlias("LOST", 99);
  SortAliases();
  const ZError e = Raised([] { GetRealName("lost#x"); });
  EXPECT_EQ(e.HelpContext, 7);
  EXPECT_EQ(e.Message, "LOST");
}

TEST_F(Aliases, UpperCasedPathFindsTheRealFolder) {
  const std::string tmp = platform::MakeTempDir("zep-alias-");
  ASSERT_FALSE(tmp.empty());
  ASSERT_TRUE(platform::MakeDirs(tmp + "Prog/Cfg"));
  CreatePathLists();
  AddAlias("CFG", 0);
  AddPath(tmp + "prog/cfg/"); // stored upper-cased
  AddAlias("NONE", 1);
  AddPath(tmp + "prog/missing/");
  SortAliases();
  const std::string got = GetRealName("CFG#cfg.zep");
  ASSERT_TRUE(got.ends_with("cfg.zep")) << got;
  EXPECT_TRUE(platform::SameFile(got.substr(0, got.size() - 7), tmp + "Prog/Cfg")) << got;
#ifndef _WIN32
  // Names are case-sensitive here: the path takes the folders' real spelling.
  EXPECT_EQ(got, tmp + "Prog/Cfg/cfg.zep");
#endif
  // A folder that does not exist keeps the stored spelling.
  EXPECT_EQ(GetAliasPath("none"), (*tPath)[1]);
  EXPECT_TRUE(platform::RemoveTree(tmp));
}

// A program that loads no aliases takes every name as a plain path.
TEST_F(Aliases, PlainNamesPassEveryNameUnchanged) {
  Load();
  gPlainNames = true;
  EXPECT_EQ(GetRealName("cfg#cfg.zep"), "cfg#cfg.zep");
  EXPECT_EQ(GetRealName("/data#1/a.ims"), "/data#1/a.ims");
  EXPECT_EQ(GetRealName("#"), "#");
  gPlainNames = false;
  EXPECT_EQ(GetRealName("cfg#cfg.zep"), "C:\\PROG\\CFG\\cfg.zep");
}

} // namespace
