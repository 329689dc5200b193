#include "Platform.h"
#include "TestFileSystem.h"

#include <gtest/gtest.h>

#include <csignal>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

class TempDir {
public:
  TempDir() : path(platform::MakeTempDir("zep-platform-")) {}
  ~TempDir() { platform::RemoveTree(path); }
  std::string path;
};

void WriteText(const std::string &path, const std::string &text) {
  const platform::Handle h = platform::Open(path, platform::OpenMode::Create);
  ASSERT_NE(h, platform::InvalidHandle) << path;
  EXPECT_TRUE(platform::Write(h, text.data(), static_cast<int64_t>(text.size())));
  EXPECT_TRUE(platform::Close(h));
}

TEST(Platform, TempDirIsPrivateFolderEndingInSeparator) {
  std::string made;
  {
    TempDir t;
    made = t.path;
    ASSERT_FALSE(made.empty());
    EXPECT_EQ(made.back(), platform::Separator);
    EXPECT_TRUE(platform::DirExists(made));
    WriteText(made + "f", "x");
  }
  EXPECT_FALSE(platform::DirExists(made)) << "RemoveTree leaves nothing behind";
}

TEST(Platform, ReadWriteSeekRoundTrip) {
  TempDir t;
  std::string f = t.path + "data";
  platform::Handle h = platform::Open(f, platform::OpenMode::Create);
  ASSERT_NE(h, platform::InvalidHandle);
  ASSERT_TRUE(platform::Write(h, "abcdef", 6));
  ASSERT_TRUE(platform::Close(h));

  h = platform::Open(f, platform::OpenMode::ReadWrite);
  ASSERT_NE(h, platform::InvalidHandle);
  EXPECT_EQ(platform::Size(h), 6);
  EXPECT_EQ(platform::Seek(h, 2), 2);
  ASSERT_TRUE(platform::Write(h, "XY", 2));
  EXPECT_EQ(platform::Seek(h, 0), 0);
  char buf[16] = {};
  EXPECT_EQ(platform::Read(h, buf, sizeof buf), 6);
  EXPECT_EQ(std::string(buf, 6), "abXYef");
  EXPECT_EQ(platform::Read(h, buf, sizeof buf), 0) << "end of file reads nothing";
  platform::Close(h);
}

TEST(Platform, OpenMissingFileReportsSystemError) {
  TempDir t;
  EXPECT_EQ(platform::Open(t.path + "missing", platform::OpenMode::Read), platform::InvalidHandle);
  EXPECT_EQ(platform::LastError(), platform::ErrNotFound);
  EXPECT_FALSE(platform::ErrorText(platform::ErrNotFound).empty());
}

TEST(Platform, OpenRefusesFolder) {
  TempDir t;
  EXPECT_EQ(platform::Open(t.path, platform::OpenMode::Read), platform::InvalidHandle);
}

TEST(Platform, ListDirIsSortedAndMarksHidden) {
  TempDir t;
  WriteText(t.path + "b.IMS", "1");
  WriteText(t.path + "a.IMS", "1");
  WriteText(t.path + ".hidden", "1");
  ASSERT_TRUE(platform::MarkHidden(t.path + ".hidden"));
  ASSERT_TRUE(platform::MakeDirs(t.path + platform::NativePath("sub/deeper")));

  std::vector<platform::DirEntry> entries;
  ASSERT_TRUE(platform::ListDir(t.path, entries));
  ASSERT_EQ(entries.size(), 4u);
  std::vector<std::string> names;
  for (auto &e : entries)
    names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{".hidden", "a.IMS", "b.IMS", "sub"}));
  EXPECT_TRUE(entries[0].isHidden);
  EXPECT_TRUE(entries[1].isFile);
  EXPECT_FALSE(entries[1].isHidden);
  EXPECT_TRUE(entries[3].isDir);
  EXPECT_FALSE(entries[3].isFile);
}

TEST(Platform, ListDirMarksLinks) {
  TempDir t;
  WriteText(t.path + "f", "1");
  ASSERT_TRUE(platform::MakeDirs(t.path + "sub"));
  if (!testfs::MakeFolderSymlink(t.path + "sub", t.path + "dirlink") ||
      !testfs::MakeSymlink(t.path + "f", t.path + "filelink"))
    GTEST_SKIP() << testfs::NoLinks;
  std::vector<platform::DirEntry> entries;
  ASSERT_TRUE(platform::ListDir(t.path, entries));
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].name, "dirlink");
  EXPECT_TRUE(entries[0].isLink);
  EXPECT_FALSE(entries[0].isDir) << "a link to a folder is not a folder to walk";
  EXPECT_EQ(entries[2].name, "filelink");
  EXPECT_TRUE(entries[2].isLink);
  EXPECT_TRUE(entries[2].isFile) << "a link to a file is a file";
}

TEST(Platform, SameFileSeesHardLinksAndOtherSpellings) {
  TempDir t;
  WriteText(t.path + "a", "1");
  WriteText(t.path + "b", "1");
  ASSERT_TRUE(testfs::MakeHardLink(t.path + "a", t.path + "h"));
  EXPECT_TRUE(platform::SameFile(t.path + "a", t.path + "h"));
  EXPECT_TRUE(platform::SameFile(t.path + "a", t.path + "./a"));
  EXPECT_FALSE(platform::SameFile(t.path + "a", t.path + "b"));
  EXPECT_FALSE(platform::SameFile(t.path + "a", t.path + "missing"));
}

TEST(Platform, SameFileSeesSymbolicLinks) {
  TempDir t;
  WriteText(t.path + "a", "1");
  if (!testfs::MakeSymlink(t.path + "a", t.path + "l"))
    GTEST_SKIP() << testfs::NoLinks;
  EXPECT_TRUE(platform::SameFile(t.path + "a", t.path + "l"));
}

TEST(Platform, RenameReplacesAtomically) {
  TempDir t;
  WriteText(t.path + "new", "new");
  WriteText(t.path + "old", "old");
  ASSERT_TRUE(platform::RenameFile(t.path + "new", t.path + "old"));
  EXPECT_FALSE(platform::FileExists(t.path + "new"));
  EXPECT_EQ(platform::FileSize(t.path + "old"), 3);
}

TEST(Platform, CopyFileReplacesTarget) {
  TempDir t;
  WriteText(t.path + "from", std::string(200000, 'z'));
  WriteText(t.path + "to", "short");
  ASSERT_TRUE(platform::CopyPlainFile(t.path + "from", t.path + "to"));
  EXPECT_EQ(platform::FileSize(t.path + "to"), 200000);
}

TEST(Platform, InjectedFailureFiresAfterCountdownOnce) {
  TempDir t;
  std::string f = t.path + "data";
  platform::Handle h = platform::Open(f, platform::OpenMode::Create);
  ASSERT_NE(h, platform::InvalidHandle);
  platform::InjectFailure(platform::Op::Write, 2);
  EXPECT_TRUE(platform::Write(h, "a", 1));
  EXPECT_TRUE(platform::Write(h, "b", 1));
  EXPECT_FALSE(platform::Write(h, "c", 1));
  EXPECT_EQ(platform::LastError(), platform::ErrIO);
  EXPECT_TRUE(platform::Write(h, "d", 1)) << "the injection fires once";
  platform::Close(h);
  EXPECT_EQ(platform::FileSize(f), 3);

  platform::InjectFailure(platform::Op::Rename, 0);
  EXPECT_FALSE(platform::RenameFile(f, f + "2"));
  platform::ClearInjectedFailures();
  EXPECT_TRUE(platform::RenameFile(f, f + "2"));
}

TEST(Platform, CallHookRunsJustBeforeTheCallAndNotInsideItself) {
  TempDir t;
  WriteText(t.path + "from", "new");
  std::vector<std::string> seen;
  platform::SetCallHook(platform::Op::Rename,
                        [&](platform::Op, const std::string &from, const std::string &to) {
                          seen.push_back(from + ">" + to);
                          WriteText(to, "intruder");               // appears at the very moment
                          platform::RenameFile(to, to + ".moved"); // a hook's own calls run no hook
                        });
  EXPECT_TRUE(platform::RenameFile(t.path + "from", t.path + "to"));
  platform::ClearInjectedFailures();
  EXPECT_EQ(seen, std::vector<std::string>{t.path + "from>" + t.path + "to"});
  EXPECT_EQ(platform::FileSize(t.path + "to"), 3);
  EXPECT_EQ(platform::FileSize(t.path + "to.moved"), 8);
  EXPECT_TRUE(platform::RenameFile(t.path + "to", t.path + "again"));
  EXPECT_EQ(seen.size(), 1u) << "cleared with the injected failures";
}

TEST(Platform, OpenRefusesPipesAndDevicesWithoutWaiting) {
  TempDir t;
#ifdef _WIN32
  // The null device answers to its name in every folder.
  const std::vector<std::string> names = {t.path + "NUL"};
#else
  ASSERT_EQ(::mkfifo((t.path + "pipe").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/zero", (t.path + "device").c_str()), 0);
  const std::vector<std::string> names = {t.path + "pipe", t.path + "device"};
#endif
  for (const std::string &name : names) {
    for (auto mode : {platform::OpenMode::Read, platform::OpenMode::ReadWrite}) {
      SCOPED_TRACE(name);
      // A pipe without a writer would make a waiting open hang here.
      EXPECT_EQ(platform::Open(name, mode), platform::InvalidHandle);
      EXPECT_EQ(platform::LastError(), platform::ErrorNotPlainFile);
      EXPECT_FALSE(platform::ErrorText(platform::ErrorNotPlainFile).empty());
    }
  }
}

TEST(Platform, RenameNoReplaceLeavesEveryTakenNameAlone) {
  TempDir t;
  WriteText(t.path + "taken", "taken");
  const bool links = testfs::MakeSymlink("nowhere", t.path + "dangling");
  ASSERT_TRUE(platform::MakeDirs(t.path + "folder"));
  WriteText(t.path + "from", "new");
  std::vector<std::string> names = {"taken", "folder"};
  if (links)
    names.push_back("dangling");
  for (const std::string &name : names) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(platform::RenameNoReplace(t.path + "from", t.path + name));
    EXPECT_TRUE(platform::NameTaken(platform::LastError()));
    EXPECT_EQ(platform::FileSize(t.path + "from"), 3);
  }
  EXPECT_EQ(platform::FileSize(t.path + "taken"), 5);
  if (links) {
    EXPECT_TRUE(platform::PathExists(t.path + "dangling"));
    EXPECT_FALSE(platform::FileExists(t.path + "dangling"));
  }
  EXPECT_TRUE(platform::RenameNoReplace(t.path + "from", t.path + "free"));
  EXPECT_FALSE(platform::PathExists(t.path + "from"));
  EXPECT_EQ(platform::FileSize(t.path + "free"), 3);
}

TEST(Platform, FollowLinksGoesThroughEveryLinkOfTheLastPart) {
  TempDir t;
  WriteText(t.path + "file", "x");
  EXPECT_EQ(platform::FollowLinks(t.path + "file"), t.path + "file");
  EXPECT_EQ(platform::FollowLinks(t.path + "missing"), t.path + "missing");
#ifdef _WIN32
  GTEST_SKIP() << "the links below are made with POSIX calls";
#else
  ASSERT_TRUE(platform::MakeDirs(t.path + "sub"));
  ASSERT_EQ(::symlink("../file", (t.path + "sub/up").c_str()), 0);
  ASSERT_EQ(::symlink("sub/up", (t.path + "chain").c_str()), 0);
  ASSERT_EQ(::symlink((t.path + "none").c_str(), (t.path + "dangling").c_str()), 0);
  ASSERT_EQ(::symlink("loop2", (t.path + "loop1").c_str()), 0);
  ASSERT_EQ(::symlink("loop1", (t.path + "loop2").c_str()), 0);
  EXPECT_EQ(platform::FollowLinks(t.path + "chain"), t.path + "sub/../file");
  EXPECT_EQ(platform::FollowLinks(t.path + "dangling"), t.path + "none");
  EXPECT_EQ(platform::FollowLinks(t.path + "loop1"), "");
#endif
}

TEST(Platform, ClaimInUseHoldsWhileTheHandleLives) {
  TempDir t;
  const std::string f = t.path + ".zepconv-abcdef";
  platform::Handle own = platform::CreateNew(f);
  ASSERT_NE(own, platform::InvalidHandle);
  EXPECT_EQ(platform::CreateNew(f), platform::InvalidHandle);
  EXPECT_TRUE(platform::NameTaken(platform::LastError()));
  ASSERT_EQ(platform::ClaimInUse(own), platform::Claim::Claimed);

  platform::Handle other = platform::OpenEntry(f);
  ASSERT_NE(other, platform::InvalidHandle);
  EXPECT_EQ(platform::ClaimInUse(other), platform::Claim::Held);
  platform::Close(own);
  EXPECT_EQ(platform::ClaimInUse(other), platform::Claim::Claimed) << "its owner is gone";
  platform::Close(other);

#ifndef _WIN32
  // A file removed before the claim is not claimed. (Windows tells it by the
  // file's pending deletion, which Wine does not report.)
  platform::Handle late = platform::OpenEntry(f);
  ASSERT_NE(late, platform::InvalidHandle);
  ASSERT_TRUE(platform::RemoveFile(f));
  EXPECT_EQ(platform::ClaimInUse(late), platform::Claim::Gone);
  platform::Close(late);
#endif

  ASSERT_TRUE(platform::MakeDir(t.path + "d"));
  EXPECT_FALSE(platform::MakeDir(t.path + "d"));
  platform::Handle dir = platform::OpenEntry(t.path + "d");
  ASSERT_NE(dir, platform::InvalidHandle);
#ifdef _WIN32
  // Windows locks no folder: nobody claims one, so nobody removes one.
  EXPECT_EQ(platform::ClaimInUse(dir), platform::Claim::Unsupported);
  platform::Close(dir);
#else
  // A folder is claimed the same way as a file.
  ASSERT_TRUE(platform::RemoveEmptyDir(t.path + "d"));
  EXPECT_EQ(platform::ClaimInUse(dir), platform::Claim::Gone);
  platform::Close(dir);
#endif

  WriteText(f, "x");
  if (!testfs::MakeSymlink(f, t.path + "link"))
    GTEST_SKIP() << testfs::NoLinks;
  EXPECT_EQ(platform::OpenEntry(t.path + "link"), platform::InvalidHandle)
      << "links are not followed";
  EXPECT_EQ(platform::CreateNew(t.path + "link"), platform::InvalidHandle);
}

TEST(Platform, UnnamedFileOpensAgainByItsPathAndLeavesNoName) {
  TempDir t;
  platform::Handle h = platform::OpenUnnamed(t.path);
  ASSERT_NE(h, platform::InvalidHandle) << "the test folder's file system makes unnamed files";
  ASSERT_TRUE(platform::Write(h, "inner", 5));
  const std::string again = platform::ReopenPath(h);
  ASSERT_FALSE(again.empty());
  platform::Handle r = platform::Open(again, platform::OpenMode::Read);
  ASSERT_NE(r, platform::InvalidHandle);
  char buf[8] = {};
  EXPECT_EQ(platform::Read(r, buf, sizeof buf), 5);
  EXPECT_EQ(std::string(buf, 5), "inner");
  platform::Close(r);
  std::vector<platform::DirEntry> entries;
#ifndef _WIN32
  // Windows shows the file's name while it is open; it goes with the handle.
  ASSERT_TRUE(platform::ListDir(t.path, entries));
  EXPECT_TRUE(entries.empty());
#endif
  platform::Close(h);
  EXPECT_TRUE(platform::ReopenPath(h).empty());
  entries.clear();
  ASSERT_TRUE(platform::ListDir(t.path, entries));
  EXPECT_TRUE(entries.empty());
}

TEST(Platform, RemoveEmptyDirKeepsAFolderThatHoldsSomething) {
  TempDir t;
  ASSERT_TRUE(platform::MakeDir(t.path + "a"));
  WriteText(t.path + "a/f", "x");
  EXPECT_FALSE(platform::RemoveEmptyDir(t.path + "a"));
  EXPECT_TRUE(platform::FileExists(t.path + "a/f"));
  EXPECT_FALSE(platform::MakeDir(t.path + "missing/b")) << "one level only";
}

TEST(Platform, FileIdTellsFilesApartWhateverTheirNames) {
  TempDir t;
  WriteText(t.path + "a", "1");
  WriteText(t.path + "b", "1");
  ASSERT_TRUE(testfs::MakeHardLink(t.path + "a", t.path + "h"));
  platform::FileId a, b, h, l;
  ASSERT_TRUE(platform::GetFileId(t.path + "a", a));
  ASSERT_TRUE(platform::GetFileId(t.path + "b", b));
  ASSERT_TRUE(platform::GetFileId(t.path + "h", h));
  EXPECT_EQ(a, h);
  EXPECT_NE(a, b);
  EXPECT_FALSE(platform::GetFileId(t.path + "missing", l));
  if (!testfs::MakeSymlink(t.path + "a", t.path + "l"))
    GTEST_SKIP() << testfs::NoLinks;
  ASSERT_TRUE(platform::GetFileId(t.path + "l", l));
  EXPECT_EQ(a, l);
}

#ifdef _WIN32
TEST(Platform, InterruptionIsNotedAndForgotten) {
  platform::CatchInterruptions();
  EXPECT_EQ(platform::Interruption(), 0);
  platform::SetInterruption(SIGINT);
  EXPECT_EQ(platform::Interruption(), SIGINT);
  EXPECT_EQ(platform::InterruptionName(SIGINT), "SIGINT");
  EXPECT_EQ(platform::InterruptionName(SIGBREAK), "SIGBREAK");
  platform::SetInterruption(0);
  EXPECT_EQ(platform::Interruption(), 0);
}
#else
TEST(Platform, CaughtInterruptionIsNotedAndTheProcessGoesOn) {
  platform::SetInterruption(0);
  platform::CatchInterruptions();
  ASSERT_EQ(::raise(SIGHUP), 0);
  EXPECT_EQ(platform::Interruption(), SIGHUP);
  EXPECT_EQ(platform::InterruptionName(SIGHUP), "SIGHUP");
  EXPECT_EQ(platform::InterruptionName(SIGINT), "SIGINT");
  platform::SetInterruption(0);
  EXPECT_EQ(platform::Interruption(), 0);
  ::signal(SIGHUP, SIG_DFL);
  ::signal(SIGINT, SIG_DFL);
  ::signal(SIGTERM, SIG_DFL);
}
#endif

} // namespace

namespace {

std::string ReadText(const std::string &path) {
  const platform::Handle h = platform::Open(path, platform::OpenMode::Read);
  if (h == platform::InvalidHandle)
    return "(cannot open)";
  char buf[256];
  const int64_t n = platform::Read(h, buf, sizeof buf);
  platform::Close(h);
  return n < 0 ? "(cannot read)" : std::string(buf, static_cast<size_t>(n));
}

// Every file operation of the layer on one path, which must come out whole.
void ExpectFileOperationsWork(const std::string &folder, const std::string &name) {
  SCOPED_TRACE(folder + name);
  ASSERT_TRUE(platform::MakeDirs(folder));
  EXPECT_TRUE(platform::DirExists(folder));
  WriteText(folder + name, "content");
  EXPECT_TRUE(platform::FileExists(folder + name));
  EXPECT_EQ(platform::FileSize(folder + name), 7);
  EXPECT_EQ(ReadText(folder + name), "content");
  std::vector<platform::DirEntry> entries;
  ASSERT_TRUE(platform::ListDir(folder, entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, name);
  EXPECT_TRUE(entries[0].isFile);
  ASSERT_TRUE(platform::CopyPlainFile(folder + name, folder + "copy"));
  EXPECT_FALSE(platform::SameFile(folder + name, folder + "copy"));
  ASSERT_TRUE(platform::RenameFile(folder + "copy", folder + name));
  EXPECT_EQ(ReadText(folder + name), "content");
  EXPECT_TRUE(platform::SameFile(folder + name, platform::AbsolutePath(folder + name)));
  EXPECT_TRUE(platform::RemoveFile(folder + name));
  EXPECT_FALSE(platform::FileExists(folder + name));
}

TEST(Platform, CyrillicNamesWork) {
  TempDir t;
  ExpectFileOperationsWork(t.path + platform::NativePath("Сметы/объект 1/"), "смета №1.IMS");
}

// Names up to the file system's limit of 255 bytes (Cyrillic letters take
// two) in a path far beyond Windows' classic 260 characters.
TEST(Platform, LongNamesAndPathsWork) {
  TempDir t;
  std::string folder = t.path;
  for (int i = 0; i < 5; ++i)
    folder += std::string(60, static_cast<char>('a' + i)) + platform::Separator;
  ExpectFileOperationsWork(folder, std::string(251, 'x') + ".IMS");
  std::string cyrillic;
  for (int i = 0; i < 125; ++i)
    cyrillic += "ж";
  ExpectFileOperationsWork(folder, cyrillic + ".IMS");
  ExpectFileOperationsWork(folder + cyrillic + platform::Separator, "f.IMS");
  EXPECT_TRUE(platform::RemoveTree(t.path + std::string(60, 'a')));
  EXPECT_FALSE(platform::DirExists(t.path + std::string(60, 'a')));
}

TEST(Platform, ErrorTextHasNoLineBreak) {
  const std::string text = platform::ErrorText(platform::ErrNotFound);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), '\n');
  EXPECT_NE(text.back(), '\r');
}

TEST(Platform, MarkHiddenHidesFromTheListing) {
  TempDir t;
  WriteText(t.path + ".dot", "1");
  WriteText(t.path + "plain", "1");
  EXPECT_TRUE(platform::MarkHidden(t.path + ".dot"));
#ifdef _WIN32
  // Windows hides by the attribute, whatever the name.
  EXPECT_TRUE(platform::MarkHidden(t.path + "plain"));
  const std::vector<bool> hidden = {true, true};
#else
  // Here the name is the mark: a name without the dot cannot be hidden.
  EXPECT_FALSE(platform::MarkHidden(t.path + "plain"));
  const std::vector<bool> hidden = {true, false};
#endif
  std::vector<platform::DirEntry> entries;
  ASSERT_TRUE(platform::ListDir(t.path, entries));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ((std::vector<bool>{entries[0].isHidden, entries[1].isHidden}), hidden);
}

TEST(Platform, EnvironmentRoundTrip) {
  const std::string name = "ZEP_PLATFORM_TEST_VARIABLE";
  std::string value;
  ASSERT_TRUE(platform::SetEnv(name, "Сметы 1"));
  ASSERT_TRUE(platform::GetEnv(name, value));
  EXPECT_EQ(value, "Сметы 1");
  ASSERT_TRUE(platform::UnsetEnv(name));
  EXPECT_FALSE(platform::GetEnv(name, value));
}

// The file without a name works like any other and leaves nothing in the
// temporary folder.
TEST(Platform, AnonymousFileLeavesNothingBehind) {
  TempDir t;
  std::string old;
  const bool had = platform::GetEnv(platform::TempDirVariable, old);
  ASSERT_TRUE(platform::SetEnv(platform::TempDirVariable, t.path));
  const platform::Handle h = platform::OpenAnonymous("anon");
  if (had)
    platform::SetEnv(platform::TempDirVariable, old);
  else
    platform::UnsetEnv(platform::TempDirVariable);
  ASSERT_NE(h, platform::InvalidHandle);
  ASSERT_TRUE(platform::Write(h, "abcdef", 6));
  EXPECT_EQ(platform::Size(h), 6);
  ASSERT_EQ(platform::Seek(h, 2), 2);
  char buf[8] = {};
  EXPECT_EQ(platform::Read(h, buf, sizeof buf), 4);
  EXPECT_EQ(std::string(buf, 4), "cdef");
  ASSERT_TRUE(platform::Close(h));
  std::vector<platform::DirEntry> entries;
  ASSERT_TRUE(platform::ListDir(t.path, entries));
  EXPECT_TRUE(entries.empty());
}

#ifdef _WIN32
TEST(Platform, WindowsTakesBothSeparators) {
  TempDir t;
  ASSERT_TRUE(platform::MakeDirs(t.path + "a/b\\c/"));
  EXPECT_TRUE(platform::DirExists(t.path + "a\\b\\c"));
  WriteText(t.path + "a/b/c/f", "x");
  EXPECT_TRUE(platform::FileExists(t.path + "a\\b\\c\\f"));
  EXPECT_EQ(platform::AbsolutePath(t.path + "a/b/./c/../c/f"), t.path + "a\\b\\c\\f");
  EXPECT_TRUE(platform::SameFile(t.path + "a/b/c/f", t.path + "A\\B\\C\\F"));
}
#endif

} // namespace
