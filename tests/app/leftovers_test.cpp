// What a conversion leaves behind: nothing of its own, and nothing of a dead
// run either. Temporary files that need no name have none; those that need
// one carry the marker ".zepconv-" (in the target's folder) or "zepconv-" (a
// private folder in the temporary folder) and are held in use while their run
// lives, so that a later run removes what a killed one left and never what a
// live one is writing.
#include <gtest/gtest.h>

#include <set>

#include "AppFixture.h"
#include "Expected.h"
#include "ModelBuilder.h"
#include "Platform.h"
#include "TestFileSystem.h"

namespace {

class LeftoversTest : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    WriteSources(3);
  }
  std::string SysTmpPath() const { return Dir + "systmp/"; }
};

// Anything under the name, a link too.
bool Exists(const std::string &path) {
  return platform::PathExists(path);
}

// An entry held in use the way a live run holds its own.
class HeldByLiveRun {
public:
  explicit HeldByLiveRun(const std::string &path) : H(platform::OpenEntry(path)) {
    EXPECT_NE(H, platform::InvalidHandle) << path;
    EXPECT_NE(platform::ClaimInUse(H), platform::Claim::Held) << path;
  }
  ~HeldByLiveRun() { platform::Close(H); }

private:
  platform::Handle H;
};

#ifdef _WIN32
// Windows locks no folder, so no run removes a private folder of another.
constexpr bool DeadFoldersGo = false;
#else
constexpr bool DeadFoldersGo = true;
#endif

TEST_F(LeftoversTest, DeadRunsLeftoversAreRemovedAndLiveRunsFilesKept) {
  const std::string tmp = SysTmpPath(), dst = Path("dst/");
  ASSERT_TRUE(platform::MakeDirs(dst));
  struct Entry {
    std::string path;
    bool folder;
    bool live;
    bool removed; // by the next conversion into dst
  };
  const std::vector<Entry> entries = {
      {tmp + "zepconv-Dead01", true, false, DeadFoldersGo},
      {tmp + "zepconv-Live01", true, true, false},
      {tmp + "zepconv-toolong1", true, false, false}, // not our marker
      {tmp + "zepconv-abc", true, false, false},
      {tmp + "keep-zepconv-Abc123", true, false, false},
      {dst + ".zepconv-dead02", false, false, true},
      {dst + ".zepconv-live02", false, true, false},
      {dst + ".zepconv-abcdefg", false, false, false},
      {dst + ".zepconv-ab", false, false, false},
      {dst + "zepconv-abcdef", false, false, false}, // a visible name is never ours there
      {dst + ".zepconv-Folder", true, false, false}, // nor a folder
  };
  std::vector<std::unique_ptr<HeldByLiveRun>> held;
  for (const Entry &e : entries) {
    if (e.folder) {
      ASSERT_TRUE(platform::MakeDirs(e.path));
      samples::WriteFileBytes(e.path + "/bl", std::string(1000, 'x'));
    } else {
      samples::WriteFileBytes(e.path, "left");
    }
    if (e.live)
      held.push_back(std::make_unique<HeldByLiveRun>(e.path));
  }
  // A link with our marker is never followed nor removed.
  samples::WriteFileBytes(Path("elsewhere"), "mine");
  const bool link = testfs::MakeSymlink(Path("elsewhere"), dst + ".zepconv-link01");

  const ConvertOutcome out = E->ConvertFile(Path("s.IMS"), dst + "t.IMS", 1, ExistingTarget::Copy);
  EXPECT_TRUE(out.ok()) << out.reason;
  for (const Entry &e : entries) {
    EXPECT_EQ(Exists(e.path), !e.removed) << e.path;
  }
  EXPECT_EQ(samples::ReadFileBytes(Path("elsewhere")), "mine");
  EXPECT_EQ(Exists(dst + ".zepconv-link01"), link);
  // The live run's files are whole.
  EXPECT_EQ(samples::ReadFileBytes(dst + ".zepconv-live02"), "left");
  EXPECT_EQ(samples::ReadFileBytes(tmp + "zepconv-Live01/bl"), std::string(1000, 'x'));
}

// Temporary files that need no name get none: at every opening of a file
// during a conversion, the temporary folder holds nothing but the private
// folders of live runs, and those hold no copy of a model's inner file or of
// a composite's parts.
#ifndef _WIN32
// (Windows has no file without a name: its nearest, a file that goes with its
// last handle, shows its name while it is open.)
TEST_F(LeftoversTest, TemporaryFilesThatNeedNoNameHaveNone) {
  for (const std::string ext : {".IMS", ".IMP"}) {
    SCOPED_TRACE(ext);
    std::set<std::string> seen;
    platform::SetCallHook(platform::Op::Open,
                          [&](platform::Op, const std::string &, const std::string &) {
                            std::vector<platform::DirEntry> top;
                            platform::ListDir(SysTmpPath(), top);
                            for (const auto &t : top) {
                              seen.insert(t.name + (t.isDir ? "/" : ""));
                              std::vector<platform::DirEntry> inner;
                              if (t.isDir && platform::ListDir(SysTmpPath() + t.name, inner))
                                for (const auto &i : inner)
                                  seen.insert("private/" + i.name);
                            }
                          });
    const ConvertOutcome out = E->ConvertFile(Path("s" + ext), Path("t" + ext),
                                              ext == ".IMP" ? 3 : 1, ExistingTarget::Copy);
    platform::ClearInjectedFailures();
    EXPECT_TRUE(out.ok()) << out.reason;
    std::set<std::string> named;
    for (const std::string &s : seen) {
      if (s.starts_with("private/"))
        named.insert(s);
      else
        EXPECT_TRUE(s.starts_with("zepconv-") && s.size() == 15 && s.back() == '/') << s;
    }
    if (ext == ".IMS") {
      EXPECT_EQ(named, std::set<std::string>{}) << "a model conversion names no temporary file";
    } else {
      // Only the composite being assembled and its temporary area have names.
      EXPECT_LE(named.size(), 2u);
      for (const std::string &n : named) {
        EXPECT_EQ(n.find("model"), std::string::npos) << n;
      }
    }
    EXPECT_TRUE(TempLeft().empty());
  }
}

#endif

// Besides the final name, the only name a conversion uses in the target's
// folder is its short temporary target: the composite's work files are in the
// private temporary folder.
TEST_F(LeftoversTest, TargetFolderSeesOnlyTheShortTemporaryTarget) {
  ASSERT_TRUE(platform::MakeDirs(Path("dst")));
  for (const std::string ext : {".IMS", ".IMP"}) {
    SCOPED_TRACE(ext);
    std::set<std::string> seen;
    auto look = [&](platform::Op, const std::string &, const std::string &) {
      for (const std::string &n : FilesIn(Path("dst")))
        seen.insert(n);
    };
    platform::SetCallHook(platform::Op::Any, look);
    EXPECT_TRUE(E->ConvertFile(Path("s" + ext), Path("dst/t" + ext), ext == ".IMP" ? 3 : 1,
                               ExistingTarget::Copy)
                    .ok());
    platform::ClearInjectedFailures();
    seen.erase("t" + ext);
    ASSERT_EQ(seen.size(), 1u) << ::testing::PrintToString(seen);
    const std::string temp = *seen.begin();
    EXPECT_TRUE(temp.starts_with(".zepconv-")) << temp;
    EXPECT_EQ(temp.size(), 15u) << temp;
    EXPECT_EQ(FilesIn(Path("dst")), std::vector<std::string>{"t" + ext});
    platform::RemoveFile(Path("dst/t" + ext));
  }
}

// A failed conversion removes the target folders it made itself, once they
// are empty; folders that existed, or that got other files meanwhile, stay.
TEST_F(LeftoversTest, FailedConversionRemovesTheFoldersItMade) {
  // Damaged beyond the edition record: passes the check, fails the conversion.
  samples::WriteFileBytes(Path("damaged.IMS"),
                          samples::ReadFileBytes(Path("s.IMS")).substr(0, 3000));
  samples::WriteFileBytes(Path("damaged.IMP"),
                          samples::ReadFileBytes(Path("s.IMP")).substr(0, 3000));
  struct Case {
    const char *what;
    const char *existing;          // a folder made before
    const char *target;            // folders below the scratch folder, then x
    const char *otherFile;         // written during the conversion, or null
    std::vector<std::string> left; // folders that stay
  } cases[] = {
      {"all new", nullptr, "nd/a/b/c/", nullptr, {}},
      {"below an existing folder", "keep", "keep/a/b/", nullptr, {"keep"}},
      {"another file meanwhile", nullptr, "nd/a/b/", "nd/a/other", {"nd", "nd/a"}},
  };
  for (const std::string ext : {".IMS", ".IMP"}) {
    for (const Case &c : cases) {
      SCOPED_TRACE(c.what + (" " + ext));
      platform::RemoveTree(Path("nd"));
      platform::RemoveTree(Path("keep"));
      if (c.existing) {
        ASSERT_TRUE(platform::MakeDirs(Path(c.existing)));
      }
      bool written = false;
      platform::SetCallHook(platform::Op::Open,
                            [&](platform::Op, const std::string &, const std::string &) {
                              if (c.otherFile && !written && platform::DirExists(Path(c.target))) {
                                written = true;
                                samples::WriteFileBytes(Path(c.otherFile), "other");
                              }
                            });
      const ConvertOutcome out = E->ConvertFile(Path("damaged" + ext), Path(c.target) + "x" + ext,
                                                ext == ".IMP" ? 3 : 1, ExistingTarget::Copy);
      platform::ClearInjectedFailures();
      EXPECT_EQ(out.status, ConvertStatus::Failed);
      std::vector<std::string> left;
      for (const char *f : {"nd", "nd/a", "nd/a/b", "nd/a/b/c", "keep", "keep/a", "keep/a/b"})
        if (platform::DirExists(Path(f)))
          left.push_back(f);
      EXPECT_EQ(left, c.left);
      EXPECT_TRUE(TempLeft().empty());
    }
  }
}

} // namespace
