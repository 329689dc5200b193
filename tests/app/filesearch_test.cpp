// The folder walk of the mass conversion: what is found, in which order, and
// what is passed over.
#include "FileSearch.h"

#include "BlockBuilder.h"
#include "DeepTree.h"
#include "Platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

class FileSearchTest : public ::testing::Test {
protected:
  void SetUp() override {
    root_ = platform::MakeTempDir("zep-search");
    ASSERT_FALSE(root_.empty());
    for (const char *d : {"b", "a/b/c", "a/.hid", ".hidden", "d.IMS", "outside"})
      ASSERT_TRUE(platform::MakeDirs(root_ + d));
    for (const char *f : {"x.IMS", "y.ims", "z.IMSX", "w.IMS.bak", "IMS", ".h.IMS", "a/q.Ims",
                          "a/b/c/deep.IMS", "a/.hid/in-hidden.IMS", ".hidden/h.IMS", "b/other.IMD",
                          "b/sib.IMS", "outside/far.IMS", "a/b/m.imsims"})
      samples::WriteFileBytes(root_ + f, "x");
    // A link to a folder is not followed; a link to a file is a file.
    std::filesystem::create_directory_symlink(root_ + "outside", root_ + "a/link");
    std::filesystem::create_symlink(root_ + "x.IMS", root_ + "b/lnk.IMS");
  }
  void TearDown() override { platform::RemoveTree(root_); }

  std::string root_;
};

} // namespace

TEST_F(FileSearchTest, DirListIsDepthFirstInNameOrderWithoutHiddenOrLinkedFolders) {
  std::vector<std::string> list{"kept"};
  GetDirList(root_, list);
  const std::vector<std::string> expect = {
      "kept",           root_,        root_ + "a/",     root_ + "a/b/",
      root_ + "a/b/c/", root_ + "b/", root_ + "d.IMS/", root_ + "outside/"};
  EXPECT_EQ(list, expect);
}

TEST_F(FileSearchTest, FileListMatchesTheExactExtensionInWalkOrder) {
  std::vector<std::string> list{"stale"};
  const int n = GetFileList(root_, "*.IMS", list, false);
  const std::vector<std::string> expect = {
      root_ + "x.IMS",     root_ + "y.ims",     root_ + "a/q.Ims",         root_ + "a/b/c/deep.IMS",
      root_ + "b/lnk.IMS", root_ + "b/sib.IMS", root_ + "outside/far.IMS",
  };
  EXPECT_EQ(list, expect);
  EXPECT_EQ(n, static_cast<int>(expect.size()));
}

TEST_F(FileSearchTest, TreeFilesListEveryPlainFileOnceAndServeEveryMask) {
  std::vector<std::string> all{"kept"};
  GetTreeFiles(root_, all);
  const std::vector<std::string> expect = {
      "kept",
      root_ + "IMS",
      root_ + "w.IMS.bak",
      root_ + "x.IMS",
      root_ + "y.ims",
      root_ + "z.IMSX",
      root_ + "a/q.Ims",
      root_ + "a/b/m.imsims",
      root_ + "a/b/c/deep.IMS",
      root_ + "b/lnk.IMS",
      root_ + "b/other.IMD",
      root_ + "b/sib.IMS",
      root_ + "outside/far.IMS",
  };
  EXPECT_EQ(all, expect);
  all.erase(all.begin());
  for (const char *mask : {"*.IMS", "*.IMD", "*.RGF", "*ims*", "?.*"}) {
    std::vector<std::string> one, filtered{"kept"};
    GetFileList(root_, mask, one, false);
    EXPECT_EQ(FilterByMask(all, mask, filtered), static_cast<int>(one.size())) << mask;
    one.insert(one.begin(), "kept");
    EXPECT_EQ(filtered, one) << mask;
  }
}

TEST_F(FileSearchTest, AppendKeepsEarlierPathsAndCountsOnlyNewOnes) {
  std::vector<std::string> list;
  EXPECT_EQ(GetFileList(root_ + "b/", "*.IMD", list, false), 1);
  EXPECT_EQ(GetFileList(root_ + "a/b/", "*.ims", list, true), 1);
  EXPECT_EQ(list, (std::vector<std::string>{root_ + "b/other.IMD", root_ + "a/b/c/deep.IMS"}));
  EXPECT_EQ(GetFileList(root_ + "b/", "*.RGF", list, false), 0);
  EXPECT_TRUE(list.empty());
}

TEST_F(FileSearchTest, MissingFolderFindsNothing) {
  std::vector<std::string> list;
  EXPECT_EQ(GetFileList(root_ + "nope/", "*.IMS", list, false), 0);
  EXPECT_TRUE(list.empty());
}

// The walk says which folders it could not list, and why; what it could
// list is found as ever.
TEST_F(FileSearchTest, TreeFilesReportFoldersThatCannotBeListed) {
  std::vector<std::string> list;
  std::vector<UnreadableFolder> unreadable;
  GetTreeFiles(root_ + "nope/", list, &unreadable);
  EXPECT_TRUE(list.empty());
  ASSERT_EQ(unreadable.size(), 1u);
  EXPECT_EQ(unreadable[0].path, root_ + "nope/");
  EXPECT_EQ(unreadable[0].reason, "No such file or directory");

  DeepTree deep(root_ + "b/", ".IMS", "x");
  list.clear();
  unreadable.clear();
  GetTreeFiles(root_ + "b/", list, &unreadable);
  ASSERT_EQ(unreadable.size(), 1u);
  EXPECT_EQ(unreadable[0].path, deep.longFolder);
  EXPECT_EQ(unreadable[0].reason, "File name too long");
  EXPECT_NE(std::find(list.begin(), list.end(), deep.longFile), list.end());
  EXPECT_NE(std::find(list.begin(), list.end(), root_ + "b/sib.IMS"), list.end());
}

TEST(MatchMask, WildcardsAndLetterCase) {
  struct Case {
    const char *name, *mask;
    bool match;
  } cases[] = {
      {"a.IMS", "*.IMS", true},
      {"a.ims", "*.IMS", true},
      {"A.Ims", "*.ims", true},
      {".IMS", "*.IMS", true},
      {"a.IMSX", "*.IMS", false},
      {"a.IMS.bak", "*.IMS", false},
      {"IMS", "*.IMS", false},
      {"a.BNP", "*.BNPP", false},
      {"a.BNPP", "*.BNP", false},
      {"a.b.IMS", "*.IMS", true},
      {"abc", "a?c", true},
      {"ac", "a?c", false},
      {"anything", "*", true},
      {"", "*", true},
      {"x.IMSIMS", "*.IMS", false},
      {"объект.IMS", "*.IMS", true},
      {"ОБЪЕКТ.ims", "объект.ims", false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(MatchMask(c.name, c.mask), c.match) << c.name << " ~ " << c.mask;
}

TEST(FolderText, EndsWithExactlyOneSeparator) {
  struct Case {
    const char *in, *out;
  } cases[] = {{"/a/b", "/a/b/"}, {"/a/b/", "/a/b/"}, {"/a/b///", "/a/b/"},
               {"/", "/"},        {"//", "/"},        {"rel", "rel/"}};
  for (const auto &c : cases)
    EXPECT_EQ(FolderText(c.in), c.out) << c.in;
}
