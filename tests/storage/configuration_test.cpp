// Loading the configuration folder: the required files and the message for
// missing ones, the configuration record, the configured edition and the
// alias file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "BilingualText.h"
#include "BlockBytes.h"
#include "Configuration.h"
#include "Edition.h"
#include "Messages.h"
#include "PathAliases.h"
#include "Platform.h"

using namespace bb;

namespace {

struct ConfigFixture : ::testing::Test {
  TempDir dir;
  std::string cfg = dir.path + "CFG" + platform::Separator;
  Recorder shown;
  std::unique_ptr<InDir> in;

  void SetUp() override {
    ASSERT_TRUE(platform::MakeDirs(cfg));
    ASSERT_TRUE(platform::MakeDirs(dir.path + "work"));
    in = std::make_unique<InDir>(dir.path + "work");
    std::memset(Cfg, 0, CfgSize);
  }
  void TearDown() override {
    in.reset();
    DeInitPath();
    std::memset(Cfg, 0, CfgSize);
    ResetCurrentEdition();
    cLoadMsg = nullptr;
    DirCfg.clear();
    gBoibPath.clear();
  }

  // A configuration record with a recognisable pattern and an edition.
  static std::string CfgBytes(const std::string &edition) {
    std::string b(CfgSize, '\0');
    for (int i = 0; i < CfgSize; ++i)
      b[i] = static_cast<char>(i * 7 + 3);
    b[CfgDataLangPos] = 0;
    b[CfgIfaceLangPos] = 0;
    b.replace(CfgEditionPos, edition.size() + 1, edition + '\0');
    return b;
  }
  static std::string AliasFile(const std::vector<std::string> &records) {
    std::string s;
    for (const auto &r : records)
      s += Rec(r);
    return s + EndRec();
  }
  void Put(const std::string &name, const std::string &bytes = "x") { WriteAll(cfg + name, bytes); }
  void PutAll() {
    Put("alias.zep", AliasFile({"CFG#" + cfg}));
    Put("cfg.zep", CfgBytes("5-2.10.5"));
    Put("boib.sfr");
    Put("dop.zep");
  }
};

} // namespace

TEST_F(ConfigFixture, MissingFilesAreNamed) {
  struct Case {
    std::vector<std::string> present;
    std::string tail;
  };
  const std::vector<Case> cases = {
      {{"alias.zep", "boib.sfr", "dop.zep"}, " відсутній файл  \"cfg.zep\""},
      {{"alias.zep", "boib.sfr"}, " відсутні файли  \"cfg.zep\", \"dop.zep\""},
      {{}, " відсутні файли  \"alias.zep\", \"cfg.zep\", \"boib.sfr\", \"dop.zep\""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.tail);
    for (const char *f : {"alias.zep", "cfg.zep", "boib.sfr", "dop.zep"})
      platform::RemoveFile(cfg + f);
    for (const auto &f : c.present)
      Put(f, f == "alias.zep" ? AliasFile({"CFG#" + cfg}) : "x");
    shown.shown.clear();
    EXPECT_EQ(InitPath(true), 1);
    ASSERT_EQ(shown.shown.size(), 1u);
    EXPECT_EQ(shown.shown[0].Kind, mk_Info);
    EXPECT_EQ(shown.shown[0].Text,
              "У теці CFG по маршруту " + cfg + c.tail + ".\n Робота програми припиняється!");
    EXPECT_TRUE(tAlias->empty()); // nothing loaded
    EXPECT_EQ(Cfg[100], 0);
    EXPECT_EQ(gBoibPath, cfg);
  }
}

TEST_F(ConfigFixture, FullModeLoadsRecordEditionAndAliases) {
  PutAll();
  // A path in a Cyrillic-named alias, stored in Windows-1251 ("ДОК").
  Put("alias.zep", AliasFile({"CFG#" + cfg, "alias#path#", " \xC4\xCE\xCA # /ru/ # /ua/ ",
                              std::string("Z#/z/\0junk#more", 15)}));
  EXPECT_EQ(InitPath(true), 0);
  EXPECT_TRUE(shown.shown.empty());
  EXPECT_EQ(DirCfg, cfg);
  EXPECT_EQ(gBoibPath, cfg);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(Cfg), CfgSize), CfgBytes("5-2.10.5"));
  EXPECT_EQ(ClearZEPVER, "2.10.5");

  ASSERT_EQ(tPath->size(), 4u);
  // Nothing after the second "#": a single path.
  EXPECT_EQ((*tPath)[1], "PATH");
  EXPECT_EQ((*tPath)[2], "\x04/RU/\x05/UA/");
  EXPECT_EQ((*tPath)[3], "/Z/"); // the text ends at its zero byte
  EXPECT_EQ(GetAliasPath("ALIAS"), "PATH");
  EXPECT_EQ(GetAliasPath("док"), "/UA/"); // data language 0: Ukrainian
  EXPECT_EQ(GetAliasPath("z"), "/Z/");
  // The stored upper-case folder still leads to the real one.
  EXPECT_TRUE(platform::FileExists(GetRealName("CFG#cfg.zep")));
}

TEST_F(ConfigFixture, WriteCfgAndReadCfgUseTheAlias) {
  PutAll();
  ASSERT_EQ(InitPath(true), 0);
  Cfg[100] = 0x5A;
  Cfg[CfgSize - 1] = 0x7E;
  WriteCfg();
  const std::string written = ReadAll(cfg + "cfg.zep");
  EXPECT_EQ(written, std::string(reinterpret_cast<char *>(Cfg), CfgSize));
  std::memset(Cfg, 0, CfgSize);
  ReadCfg("");
  EXPECT_EQ(std::string(reinterpret_cast<char *>(Cfg), CfgSize), written);
}

TEST_F(ConfigFixture, ReadCfgOfShortFileKeepsTheRest) {
  Put("cfg.zep", "abc");
  std::memset(Cfg, 0x11, CfgSize);
  ReadCfg(cfg);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(Cfg), 4), "abc\x11");
  EXPECT_EQ(Cfg[CfgSize - 1], 0x11);
}

TEST_F(ConfigFixture, WriteCfgNeedsAnExistingFile) {
  PutAll();
  ASSERT_EQ(InitPath(true), 0);
  platform::RemoveFile(cfg + "cfg.zep");
  EXPECT_EQ(CatchZ([] { WriteCfg(); }).HelpContext, 1);
  EXPECT_FALSE(platform::FileExists(cfg + "cfg.zep"));
}

TEST_F(ConfigFixture, ReducedModeReadsFileCfgOnly) {
  Put("File.Cfg", AliasFile({"A#/a/", "B#/b/"}));
  cLoadMsg = [](uint16_t, bool, int) { return std::string("hook"); };
  EXPECT_EQ(InitPath(false), 0);
  EXPECT_FALSE(cLoadMsg);
  EXPECT_EQ(GetAliasPath("b"), "/B/");
  EXPECT_EQ(Cfg[100], 0); // the configuration record is not read
  EXPECT_TRUE(gBoibPath.empty());
  EXPECT_TRUE(shown.shown.empty());
}

TEST_F(ConfigFixture, ReducedModeWithoutAliasFileFails) {
  ZError e = CatchZ([] { InitPath(false); });
  EXPECT_EQ(e.HelpContext, 1);
  EXPECT_EQ(e.Message, cfg + "File.Cfg");
}

TEST_F(ConfigFixture, DamagedAliasFileFails) {
  PutAll();
  Put("alias.zep", Rec("A#/a/") + std::string("\x00\xFF\xFF\xFF\xFF\x00\x00", 7));
  EXPECT_EQ(CatchZ([] { InitPath(true); }).HelpContext, 9);
}

TEST_F(ConfigFixture, DeInitPathDropsTheAliases) {
  PutAll();
  ASSERT_EQ(InitPath(true), 0);
  ASSERT_TRUE(platform::SameFile(GetAliasPath("CFG"), cfg));
  DeInitPath();
  EXPECT_EQ(CatchZ([] { GetAliasPath("CFG"); }).HelpContext, 7);
}

TEST(ConfigNoFolder, MissingConfigurationFolderFails) {
  TempDir dir;
  InDir in(dir.path);
  ZError e = CatchZ([] { InitPath(true); });
  EXPECT_EQ(e.Message, "Отсутствует директория CFG");
  DeInitPath();
}
