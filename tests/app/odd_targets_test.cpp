// Odd names and files: the longest names a file system accepts, targets that
// are symbolic links, and a source that turns into a pipe or a device after
// the edition check.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "AppFixture.h"
#include "Expected.h"
#include "ModelBuilder.h"
#include "Platform.h"

namespace {

class OddTargetsTest : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    Converted_ = WriteSources(7);
  }
  const std::string &Want(const std::string &ext) const { return Converted_.Of(ext); }
  static uint8_t Kind(const std::string &ext) { return ext == ".IMP" ? 3 : 1; }

  // Names below the scratch folder that the conversions may have left: ours
  // start with a dot.
  std::vector<std::string> HiddenIn(const std::string &folder) const {
    std::vector<std::string> names = FilesIn(folder);
    std::erase_if(names, [](const std::string &n) { return n[0] != '.'; });
    return names;
  }

  Converted Converted_;
};

std::string Repeat(const std::string &s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i)
    out += s;
  return out;
}

// Every target name the file system accepts converts: temporary names in the
// target's folder are short, whatever the target's name.
TEST_F(OddTargetsTest, LongestNamesConvert) {
  ASSERT_TRUE(platform::MakeDirs(Path("long")));
  const struct {
    const char *what;
    std::string stem; // the extension follows
  } cases[] = {
      {"255 bytes, Latin", std::string(251, 'n')},
      {"254 bytes, 125 Cyrillic letters", Repeat("ж", 125)},
      {"255 bytes, Cyrillic and one Latin letter", Repeat("ж", 125) + "x"},
  };
  for (const auto &c : cases) {
    for (const std::string ext : {".IMS", ".IMP"}) {
      SCOPED_TRACE(std::string(c.what) + ext);
      const std::string target = Path("long/") + c.stem + ext;
      for (ExistingTarget policy : {ExistingTarget::Copy, ExistingTarget::Replace}) {
        // The second round replaces the file the first wrote.
        const ConvertOutcome out = E->ConvertFile(Path("s" + ext), target, Kind(ext), policy);
        EXPECT_TRUE(out.ok()) << out.reason;
        EXPECT_EQ(out.target, target);
        EXPECT_TRUE(samples::ReadFileBytes(target) == Want(ext));
      }
      EXPECT_EQ(HiddenIn(Path("long")), std::vector<std::string>{});
      EXPECT_TRUE(TempLeft().empty());
      platform::RemoveFile(target);
    }
  }
}

#ifndef _WIN32
// Links and pipes below are made with POSIX calls; the Windows side opens
// only plain files too (its platform tests show it on the null device).

std::string LinkText(const std::string &path) {
  char buf[4096];
  const ssize_t n = readlink(path.c_str(), buf, sizeof buf);
  return n < 0 ? std::string() : std::string(buf, static_cast<size_t>(n));
}

// A target that is a symbolic link is written through it: the link stays and
// the file it leads to gets the new content; a link that leads nowhere counts
// as an existing target.
TEST_F(OddTargetsTest, SymbolicLinkTargetsAreWrittenThroughTheLink) {
  struct Case {
    const char *what;
    const char *link;     // the text of links/t.IMS
    const char *existing; // a file created first (below the scratch folder), or null
    ExistingTarget policy;
    std::deque<bool> answers;
    const char *result; // where the converted file is, below the scratch folder
  } cases[] = {
      {"link to a file, replace",
       "../files/f.IMS",
       "files/f.IMS",
       ExistingTarget::Replace,
       {},
       "files/f.IMS"},
      {"link to a file, ask yes",
       "../files/f.IMS",
       "files/f.IMS",
       ExistingTarget::Ask,
       {true},
       "files/f.IMS"},
      {"link to a file, copy",
       "../files/f.IMS",
       "files/f.IMS",
       ExistingTarget::Copy,
       {},
       "links/t-k.IMS"},
      {"link to a link to a file, replace",
       "u.IMS",
       "files/f.IMS",
       ExistingTarget::Replace,
       {},
       "files/f.IMS"},
      {"link leading nowhere, copy",
       "../files/none.IMS",
       nullptr,
       ExistingTarget::Copy,
       {},
       "links/t-k.IMS"},
      {"link leading nowhere, ask no",
       "../files/none.IMS",
       nullptr,
       ExistingTarget::Ask,
       {false},
       "links/t-k.IMS"},
      {"link leading nowhere, replace",
       "../files/none.IMS",
       nullptr,
       ExistingTarget::Replace,
       {},
       "files/none.IMS"},
  };
  for (const std::string ext : {".IMS", ".IMP"}) {
    for (const Case &c : cases) {
      SCOPED_TRACE(c.what + (" " + ext));
      platform::RemoveTree(Path("links"));
      platform::RemoveTree(Path("files"));
      ASSERT_TRUE(platform::MakeDirs(Path("links")) && platform::MakeDirs(Path("files")));
      if (c.existing)
        samples::WriteFileBytes(Path(c.existing), "old");
      ASSERT_EQ(symlink("../files/f.IMS", Path("links/u.IMS").c_str()), 0);
      ASSERT_EQ(symlink(c.link, Path("links/t.IMS").c_str()), 0);
      Answers = c.answers;
      const ConvertOutcome out =
          E->ConvertFile(Path("s" + ext), Path("links/t.IMS"), Kind(ext), c.policy);
      EXPECT_TRUE(out.ok()) << out.reason;
      const bool through = std::string(c.result).starts_with("files/");
      EXPECT_EQ(out.target, through ? Path("links/t.IMS") : Path(c.result));
      EXPECT_TRUE(samples::ReadFileBytes(Path(c.result)) == Want(ext)) << c.result;
      EXPECT_EQ(LinkText(Path("links/t.IMS")), c.link) << "the link stays as it was";
      EXPECT_EQ(LinkText(Path("links/u.IMS")), "../files/f.IMS");
      if (c.existing && !through) {
        EXPECT_EQ(samples::ReadFileBytes(Path(c.existing)), "old");
      }
      EXPECT_EQ(HiddenIn(Path("links")), std::vector<std::string>{});
      EXPECT_EQ(HiddenIn(Path("files")), std::vector<std::string>{});
      EXPECT_TRUE(TempLeft().empty());
    }
  }
}

// Opens the write end of a pipe after a while, so that a reader blocked in
// opening it comes free; says whether it had to.
class PipeWatchdog {
public:
  explicit PipeWatchdog(std::string fifo) : Fifo(std::move(fifo)), T([this] { Run(); }) {}
  ~PipeWatchdog() {
    {
      std::lock_guard<std::mutex> l(M);
      Done = true;
    }
    C.notify_all();
    T.join();
  }
  bool HadToFree() const { return Freed; }

private:
  void Run() {
    std::unique_lock<std::mutex> l(M);
    if (C.wait_for(l, std::chrono::seconds(5), [this] { return Done; }))
      return;
    const int fd = open(Fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) {
      Freed = true;
      close(fd);
    }
  }
  std::string Fifo;
  std::mutex M;
  std::condition_variable C;
  bool Done = false;
  std::atomic<bool> Freed{false};
  std::thread T;
};

// A source that turns into a pipe or a device between the edition check and
// the conversion's opening never blocks the conversion: it fails at once.
TEST_F(OddTargetsTest, SourceTurningIntoPipeOrDeviceFailsAtOnce) {
  ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
  const struct {
    const char *what;
    std::function<void(const std::string &)> swap;
  } cases[] = {
      {"a pipe", [](const std::string &p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }},
      {"a link to a pipe",
       [this](const std::string &p) { ASSERT_EQ(symlink(Path("pipe").c_str(), p.c_str()), 0); }},
      {"a link to a device",
       [](const std::string &p) { ASSERT_EQ(symlink("/dev/zero", p.c_str()), 0); }},
  };
  for (const std::string ext : {".IMS", ".IMP"}) {
    for (const auto &c : cases) {
      SCOPED_TRACE(c.what + (" " + ext));
      const std::string source = Path("swapped" + ext);
      platform::RemoveFile(source);
      ASSERT_TRUE(platform::CopyPlainFile(Path("s" + ext), source));
      int opens = 0;
      platform::SetCallHook(platform::Op::Open,
                            [&](platform::Op, const std::string &path, const std::string &) {
                              // The first opening is the edition check's; the file changes after
                              // it.
                              if (path == source && ++opens == 2) {
                                platform::RemoveFile(source);
                                c.swap(source);
                              }
                            });
      ConvertOutcome out;
      const auto t0 = std::chrono::steady_clock::now();
      bool freed = false;
      {
        PipeWatchdog watchdog(Path("pipe"));
        PipeWatchdog own(source);
        out = E->ConvertFile(source, Path("t" + ext), Kind(ext), ExistingTarget::Copy);
        freed = watchdog.HadToFree() || own.HadToFree();
      }
      platform::ClearInjectedFailures();
      EXPECT_GE(opens, 2);
      EXPECT_FALSE(freed) << "the conversion waited for the pipe";
      EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));
      EXPECT_EQ(out.status, ConvertStatus::Failed);
      EXPECT_NE(out.reason.find(source), std::string::npos) << out.reason;
      EXPECT_FALSE(platform::FileExists(Path("t" + ext)));
      EXPECT_EQ(HiddenIn(Dir), std::vector<std::string>{});
      EXPECT_TRUE(TempLeft().empty());
      platform::RemoveFile(source);
    }
  }
}

#endif

} // namespace
