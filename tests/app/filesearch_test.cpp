// The folder walk of the mass conversion: what is found, in which order, and
// what is passed over.
#include "FileSearch.h"

#include "BlockBuilder.h"
#include "DeepTree.h"
#include "Platform.h"
#include "TestFileSystem.h"

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
      ASSERT_TRUE(platform::MakeDirs(P(d)));
    for (const char *f : {"x.IMS", "y.ims", "z.IMSX", "w.IMS.bak", "IMS", ".h.IMS", "a/q.Ims",
                          "a/b/c/deep.IMS", "a/.hid/in-hidden.IMS", ".hidden/h.IMS", "b/other.IMD",
                          "b/sib.IMS", "outside/far.IMS", "a/b/m.imsims"})
      samples::WriteFileBytes(P(f), "x");
    for (const char *h : {"a/.hid", ".hidden", ".h.IMS"})
      ASSERT_TRUE(platform::MarkHidden(P(h)));
#ifdef _WIN32
    // Windows hides by attribute only: hidden and system entries of any name.
    for (const char *d : {"a/attr-hidden", "b/attr-system"})
      ASSERT_TRUE(platform::MakeDirs(P(d)));
    for (const char *f : {"a/attr-hidden/in.IMS", "b/attr-system/in.IMS", "hid.IMS", "sys.IMS"})
      samples::WriteFileBytes(P(f), "x");
    ASSERT_TRUE(platform::MarkHidden(P("a/attr-hidden")));
    ASSERT_TRUE(platform::MarkHidden(P("hid.IMS")));
    ASSERT_TRUE(testfs::MarkSystem(P("b/attr-system")));
    ASSERT_TRUE(testfs::MarkSystem(P("sys.IMS")));
#endif
    // A link to a folder is not followed; a link to a file is a file.
    links_ = testfs::MakeFolderSymlink(P("outside"), P("a/link")) &&
             testfs::MakeSymlink(P("x.IMS"), P("b/lnk.IMS"));
  }
  void TearDown() override {
    platform::RemoveTree(root_);
  }

  // A path below the root, written with "/".
  std::string P(const std::string &rel) const {
    return root_ + platform::NativePath(rel);
  }
  // `paths` without the link to a file when the system made no links.
  std::vector<std::string> IfLinks(std::vector<std::string> paths) const {
    if (!links_)
      std::erase(paths, P("b/lnk.IMS"));
    return paths;
  }

  std::string root_;
  bool links_ = false;
};

} // namespace

TEST_F(FileSearchTest, DirListIsDepthFirstInNameOrderWithoutHiddenOrLinkedFolders) {
  std::vector<std::string> list{"kept"};
  GetDirList(root_, list);
  const std::vector<std::string> expect = {"kept",      root_,   P("a/"),     P("a/b/"),
                                           P("a/b/c/"), P("b/"), P("d.IMS/"), P("outside/")};
  EXPECT_EQ(list, expect);
}

TEST_F(FileSearchTest, FileListMatchesTheExactExtensionInWalkOrder) {
  std::vector<std::string> list{"stale"};
  const int n = GetFileList(root_, "*.IMS", list, false);
  const std::vector<std::string> expect = IfLinks({
      P("x.IMS"),
      P("y.ims"),
      P("a/q.Ims"),
      P("a/b/c/deep.IMS"),
      P("b/lnk.IMS"),
      P("b/sib.IMS"),
      P("outside/far.IMS"),
  });
  EXPECT_EQ(list, expect);
  EXPECT_EQ(n, static_cast<int>(expect.size()));
}

TEST_F(FileSearchTest, TreeFilesListEveryPlainFileOnceAndServeEveryMask) {
  std::vector<std::string> all{"kept"};
  GetTreeFiles(root_, all);
  const std::vector<std::string> expect = IfLinks({
      "kept",
      P("IMS"),
      P("w.IMS.bak"),
      P("x.IMS"),
      P("y.ims"),
      P("z.IMSX"),
      P("a/q.Ims"),
      P("a/b/m.imsims"),
      P("a/b/c/deep.IMS"),
      P("b/lnk.IMS"),
      P("b/other.IMD"),
      P("b/sib.IMS"),
      P("outside/far.IMS"),
  });
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
  EXPECT_EQ(GetFileList(P("b/"), "*.IMD", list, false), 1);
  EXPECT_EQ(GetFileList(P("a/b/"), "*.ims", list, true), 1);
  EXPECT_EQ(list, (std::vector<std::string>{P("b/other.IMD"), P("a/b/c/deep.IMS")}));
  EXPECT_EQ(GetFileList(P("b/"), "*.RGF", list, false), 0);
  EXPECT_TRUE(list.empty());
}

TEST_F(FileSearchTest, MissingFolderFindsNothing) {
  std::vector<std::string> list;
  EXPECT_EQ(GetFileList(P("nope/"), "*.IMS", list, false), 0);
  EXPECT_TRUE(list.empty());
}

// The walk says which folders it could not list, and why; what it could
// list is found as ever.
TEST_F(FileSearchTest, TreeFilesReportFoldersThatCannotBeListed) {
  std::vector<std::string> list;
  std::vector<UnreadableFolder> unreadable;
  GetTreeFiles(P("nope/"), list, &unreadable);
  EXPECT_TRUE(list.empty());
  ASSERT_EQ(unreadable.size(), 1u);
  EXPECT_EQ(unreadable[0].path, P("nope/"));
  EXPECT_EQ(unreadable[0].reason, platform::ErrorText(testfs::NoFolder));

  if (DeepTree::Unsupported)
    GTEST_SKIP() << DeepTree::Unsupported;
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

TEST(FolderText, UsesTheSystemSeparatorAndEndsWithExactlyOne) {
  struct Case {
    const char *in, *out;
  } cases[] = {{"/a/b", "/a/b/"}, {"/a/b/", "/a/b/"}, {"/a/b///", "/a/b/"},
               {"/", "/"},        {"//", "/"},        {"rel", "rel/"}};
  for (const auto &c : cases)
    EXPECT_EQ(FolderText(platform::NativePath(c.in)), platform::NativePath(c.out)) << c.in;
#ifdef _WIN32
  // Windows folder texts use the backslash throughout, whichever separator
  // was given: no path shown to the user mixes the two.
  struct WinCase {
    const char *in, *out;
  } winCases[] = {{"C:\\a\\b", "C:\\a\\b\\"},
                  {"C:/a/b/", "C:\\a\\b\\"},
                  {"C:\\a/\\/", "C:\\a\\"},
                  {"C:\\", "C:\\"},
                  {"C:/", "C:\\"},
                  {"//srv/share", "\\\\srv\\share\\"},
                  {"\\\\srv\\share", "\\\\srv\\share\\"}};
  for (const auto &c : winCases)
    EXPECT_EQ(FolderText(c.in), c.out) << c.in;
#endif
}
