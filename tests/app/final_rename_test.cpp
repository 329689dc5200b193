// The final rename replaces only what the user agreed to replace: a file that
// appears at the final name during the conversion stays, a mass run never
// replaces its own output, and a replaced target is on the disk before and
// after the rename.
#include <gtest/gtest.h>

#include <iostream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "AppFixture.h"
#include "Expected.h"
#include "MassConversion.h"
#include "ModelBuilder.h"
#include "Platform.h"
#include "TestFileSystem.h"

namespace {

class FinalRenameTest : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    Want = WriteSources(5);
  }
  Converted Want;
};

// A file that appears at the final name just before the final rename (the
// platform's hook runs there) is never replaced unless replacing was agreed
// for a file that existed at the start.
TEST_F(FinalRenameTest, FileAppearingAtTheFinalNameIsNeverReplaced) {
  struct Case {
    const char *what;
    bool targetAtStart;
    ExistingTarget policy;
    const char *intruder; // where a file appears at the final rename
    ConvertStatus status;
    const char *result; // where the converted file is then; empty: nowhere
  } cases[] = {
      {"new target, copy", false, ExistingTarget::Copy, "t", ConvertStatus::Converted, "t-k"},
      {"new target, replace", false, ExistingTarget::Replace, "t", ConvertStatus::Converted, "t-k"},
      {"new target, ask", false, ExistingTarget::Ask, "t", ConvertStatus::Converted, "t-k"},
      {"existing target, copy to a new -k name", true, ExistingTarget::Copy, "t-k",
       ConvertStatus::Failed, ""},
      {"existing target, replacing agreed", true, ExistingTarget::Replace, "t",
       ConvertStatus::Converted, "t"},
  };
  for (const char *ext : {".IMS", ".IMP"}) {
    for (const Case &c : cases) {
      SCOPED_TRACE(std::string(c.what) + " " + ext);
      const std::string t = Path(std::string("t") + ext), k = Path(std::string("t-k") + ext);
      const std::string intruder = Path(c.intruder + std::string(ext));
      platform::RemoveFile(t);
      platform::RemoveFile(k);
      if (c.targetAtStart)
        samples::WriteFileBytes(t, "old");
      int appeared = 0;
      platform::SetCallHook(platform::Op::Rename,
                            [&](platform::Op, const std::string &, const std::string &to) {
                              if (to == intruder && appeared++ == 0)
                                samples::WriteFileBytes(intruder, "intruder");
                            });
      Shown.clear();
      const ConvertOutcome out = E->ConvertFile(Path(std::string("s") + ext), t,
                                                ext == std::string(".IMP") ? 3 : 1, c.policy);
      platform::ClearInjectedFailures();
      EXPECT_EQ(appeared, 1) << "the final rename went to " << intruder;
      EXPECT_EQ(out.status, c.status) << out.reason;
      const std::string &want = Want.Of(ext);
      if (c.status == ConvertStatus::Converted) {
        const std::string result = Path(c.result + std::string(ext));
        EXPECT_EQ(out.target, result);
        EXPECT_TRUE(samples::ReadFileBytes(result) == want);
        if (result != intruder) {
          EXPECT_EQ(samples::ReadFileBytes(intruder), "intruder");
        }
      } else {
        EXPECT_EQ(samples::ReadFileBytes(intruder), "intruder");
        EXPECT_NE(out.reason.find(intruder), std::string::npos) << out.reason;
        ExpectUserNamesOnly(out.reason);
      }
      if (c.targetAtStart && c.policy != ExistingTarget::Replace) {
        EXPECT_EQ(samples::ReadFileBytes(t), "old");
      }
      EXPECT_TRUE(TempLeft().empty());
      std::vector<std::string> files = FilesIn(Dir);
      std::erase_if(files, [](const std::string &f) { return f[0] != '.'; });
      EXPECT_EQ(files, std::vector<std::string>{}) << "no temporary target left";
    }
  }
}

// A replaced target is on the disk before the rename and its folder after it;
// a new one needs no synchronisation (the source still holds its data).
TEST_F(FinalRenameTest, ReplacedTargetIsSynchronisedNewOneIsNot) {
  std::vector<std::string> calls;
  auto record = [&](platform::Op op) {
    platform::SetCallHook(
        op, [&calls](platform::Op called, const std::string &a, const std::string &b) {
          if (called == platform::Op::Sync)
            calls.push_back(a.empty() ? "sync data" : "sync folder " + a);
          else if (called == platform::Op::Rename)
            calls.push_back("rename to " + b);
        });
  };
  for (const char *ext : {".IMS", ".IMP"}) {
    SCOPED_TRACE(ext);
    const std::string s = Path(std::string("s") + ext), t = Path(std::string("t") + ext);
    const uint8_t kind = ext == std::string(".IMP") ? 3 : 1;
    struct Case {
      bool existing;
      std::vector<std::string> calls;
    } cases[] = {
        {false, {"rename to " + t}},
        {true, {"sync data", "rename to " + t, "sync folder " + Dir}},
    };
    for (const Case &c : cases) {
      platform::RemoveFile(t);
      if (c.existing)
        samples::WriteFileBytes(t, "old");
      calls.clear();
      record(platform::Op::Any);
      EXPECT_TRUE(E->ConvertFile(s, t, kind, ExistingTarget::Replace).ok());
      platform::ClearInjectedFailures();
      EXPECT_EQ(calls, c.calls);
      EXPECT_TRUE(samples::ReadFileBytes(t) == Want.Of(ext));
    }

    // The sync before the rename fails: the old file stays.
    samples::WriteFileBytes(t, "old");
    platform::InjectFailure(platform::Op::Sync, 0);
    const ConvertOutcome out = E->ConvertFile(s, t, kind, ExistingTarget::Replace);
    platform::ClearInjectedFailures();
    EXPECT_EQ(out.status, ConvertStatus::Failed);
    EXPECT_EQ(samples::ReadFileBytes(t), "old");
    ExpectUserNamesOnly(out.reason);
    EXPECT_TRUE(TempLeft().empty());
  }

  // A mass run syncs each replaced file before its rename, and each folder
  // once, when the run ends.
  ASSERT_TRUE(platform::MakeDirs(Path("src/sub")) && platform::MakeDirs(Path("dst/sub")));
  for (const char *rel : {"a.IMS", "b.IMS", "sub/c.IMS"}) {
    ASSERT_TRUE(platform::CopyPlainFile(Path("s.IMS"), Path("src/") + rel));
    samples::WriteFileBytes(Path("dst/") + rel, "old");
  }
  calls.clear();
  record(platform::Op::Any);
  MassRequest req;
  req.sourceFolder = Path("src/");
  req.targetFolder = Path("dst/");
  req.policy = ExistingTarget::Replace;
  EXPECT_EQ(MassConvert(*E, req).converted(), 3);
  platform::ClearInjectedFailures();
  EXPECT_EQ(calls, (std::vector<std::string>{"sync data", "rename to " + Path("dst/a.IMS"),
                                             "sync data", "rename to " + Path("dst/b.IMS"),
                                             "sync data", "rename to " + Path("dst/sub/c.IMS"),
                                             "sync folder " + Path("dst/"),
                                             "sync folder " + Path("dst/sub/")}));
}

#ifndef _WIN32
// A replaced file keeps what the old one allowed whom, as careful saving does.
// (On Windows a file's rights come from its folder.)
TEST_F(FinalRenameTest, ReplacedTargetKeepsItsPermissions) {
  for (const char *ext : {".IMS", ".IMP"}) {
    for (mode_t mode : {0640, 0444, 0600}) {
      SCOPED_TRACE(std::string(ext) + " mode " + std::to_string(mode));
      const std::string t = Path(std::string("t") + ext);
      platform::RemoveFile(t);
      samples::WriteFileBytes(t, "old");
      ASSERT_EQ(chmod(t.c_str(), mode), 0);
      EXPECT_TRUE(E->ConvertFile(Path(std::string("s") + ext), t,
                                 ext == std::string(".IMP") ? 3 : 1, ExistingTarget::Replace)
                      .ok());
      struct stat st;
      ASSERT_EQ(stat(t.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, mode);
      EXPECT_TRUE(samples::ReadFileBytes(t) == Want.Of(ext));
    }
  }
}
#endif

// Within one mass run, a conversion whose final name is a file the same run
// has written fails instead of replacing it.
TEST_F(FinalRenameTest, MassRunNeverReplacesItsOwnOutput) {
  const std::string src = Path("src/"), dst = Path("dst/");
  ASSERT_TRUE(platform::MakeDirs(src) && platform::MakeDirs(dst));
  samples::ModelSpec a, b;
  a.seed = 21;
  b.seed = 22;
  const std::string wantA = expect::Model(samples::WriteModel(src + "x-k.IMS", a), 1);
  samples::WriteModel(src + "x.IMS", b);
  struct Case {
    const char *what;
    ExistingTarget policy;
    std::function<bool()> prepare; // the target folder before the run; false: cannot be made here
    const char *failed;            // the source that fails
    const char *kept;              // and what keeps its old bytes
  } cases[] = {
      // x-k.IMS goes to dst/x-k.IMS; x.IMS finds dst/x.IMS and would take the
      // "-k" name the run has just written.
      {"-k name of a later file", ExistingTarget::Copy,
       [&] {
         samples::WriteFileBytes(dst + "x.IMS", "old");
         return true;
       },
       "x.IMS", "x.IMS"},
      // dst/x.IMS is a link to dst/x-k.IMS: writing through it would replace
      // the file the run wrote first.
      {"target linked to an earlier output", ExistingTarget::Replace,
       [&] {
         samples::WriteFileBytes(dst + "x-k.IMS", "old");
         return testfs::MakeSymlink("x-k.IMS", dst + "x.IMS");
       },
       "x.IMS", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    platform::RemoveTree(dst);
    ASSERT_TRUE(platform::MakeDirs(dst));
    if (!c.prepare()) {
      std::cout << "case passed over: " << testfs::NoLinks << "\n";
      continue;
    }
    Shown.clear();
    MassRequest req;
    req.sourceFolder = src;
    req.targetFolder = dst;
    req.policy = c.policy;
    req.askAfterFailure = false;
    const MassReport rep = MassConvert(*E, req);
    ASSERT_EQ(rep.results.size(), 2u);
    EXPECT_EQ(rep.converted(), 1);
    for (const MassResult &r : rep.results) {
      if (r.source == src + c.failed) {
        EXPECT_EQ(r.outcome.status, ConvertStatus::Failed);
        EXPECT_NE(r.outcome.reason.find(dst + "x-k.IMS"), std::string::npos) << r.outcome.reason;
        ExpectUserNamesOnly(r.outcome.reason);
      } else {
        EXPECT_TRUE(r.ok()) << r.outcome.reason;
      }
    }
    EXPECT_TRUE(samples::ReadFileBytes(dst + "x-k.IMS") == wantA) << "the first result stays";
    if (*c.kept) {
      EXPECT_EQ(samples::ReadFileBytes(dst + c.kept), "old");
    }
    EXPECT_TRUE(TempLeft().empty());
  }
}

} // namespace
