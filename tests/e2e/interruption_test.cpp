// zepconv stopped by a signal at several moments of a conversion of a few
// megabytes: a model, a composite and a mass run. Whatever the moment, every
// final name holds nothing, its old file or the complete new file; a caught
// signal leaves no temporary file behind and exits with 128 + its number, and
// after SIGKILL the next run removes what the killed one left.
#include "BlockBuilder.h"
#include "ModelBuilder.h"
#include "Platform.h"
#include "TreeSnapshot.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

using namespace samples;

namespace {

struct Ended {
  bool exited = false; // by exit(): status; else killed by `signal`
  int status = -1;
  int signal = 0;
};

// zepconv started with `args` in `cwd`, with TMPDIR set, its output in files.
class Child {
public:
  Child(const std::vector<std::string> &args, const std::string &cwd, const std::string &tmp,
        const std::string &outFile) {
    std::vector<std::string> argv = {ZEPCONV_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char *> cargv;
    for (auto &a : argv)
      cargv.push_back(a.data());
    cargv.push_back(nullptr);
    std::vector<std::string> env = {"TMPDIR=" + tmp};
    for (char **e = environ; *e; ++e)
      if (std::string(*e).rfind("TMPDIR=", 0) != 0)
        env.push_back(*e);
    std::vector<char *> cenv;
    for (auto &e : env)
      cenv.push_back(e.data());
    cenv.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, (outFile + ".err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&fa, cwd.c_str());
    // The test's own signal dispositions are not the child's business: every
    // signal starts with its default action.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attr, &all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    if (posix_spawn(&pid_, ZEPCONV_PATH, &fa, &attr, cargv.data(), cenv.data()) != 0)
      pid_ = -1;
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&fa);
  }
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }
  bool Started() const { return pid_ > 0; }
  void Signal(int sig) { ::kill(pid_, sig); }
  Ended Wait() {
    Ended e;
    int st = 0;
    if (pid_ > 0 && ::waitpid(pid_, &st, 0) == pid_) {
      e.exited = WIFEXITED(st);
      e.status = e.exited ? WEXITSTATUS(st) : -1;
      e.signal = WIFSIGNALED(st) ? WTERMSIG(st) : 0;
    }
    pid_ = -1;
    return e;
  }

private:
  pid_t pid_ = -1;
};

bool OursTemporary(const std::string &entry) {
  const std::string name = entry.substr(entry.rfind('/', entry.size() - 2) + 1);
  return name.find("zepconv") != std::string::npos;
}

// One subject of the table: what is converted and how.
struct Subject {
  const char *what;
  std::vector<std::string> args; // after "zepconv", with S/ for the sources and T/ for the targets
  bool mass = false;
};

class InterruptionTest : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = platform::MakeTempDir("zep-e2e-int");
    ASSERT_FALSE(Dir.empty());
    for (const char *d : {"cwd", "tmp", "src/a", "src/b/c"})
      ASSERT_TRUE(platform::MakeDirs(Dir + d));
    LargeModelSpec big;
    big.targetBytes = 6u << 20;
    big.tempDir = Dir + "tmp/";
    WriteLargeModel(Dir + "src/a/big.IMS", big);
    big.targetBytes = 3u << 20;
    big.seed = 2;
    WriteLargeModel(Dir + "src/b/c/other.IMS", big);
    CompositeSpec composite;
    for (int i = 0; i < 3; ++i) {
      ModelSpec m;
      m.seed = 10 + static_cast<uint64_t>(i);
      m.innerRecords = 500;
      m.innerMaxRecord = 8000;
      composite.models.push_back(m);
    }
    WriteComposite(Dir + "src/b/parts.IMP", composite);
  }
  void TearDown() override { platform::RemoveTree(Dir); }

  std::vector<std::string> Args(const Subject &s, const std::string &targets) const {
    std::vector<std::string> out;
    for (const std::string &a : s.args) {
      if (a.rfind("S/", 0) == 0)
        out.push_back(Dir + "src/" + a.substr(2));
      else if (a.rfind("T/", 0) == 0)
        out.push_back(targets + a.substr(2));
      else
        out.push_back(a);
    }
    return out;
  }

  // Runs to the end; returns how long it took.
  std::chrono::microseconds RunToEnd(const Subject &s, const std::string &targets, Ended &how) {
    const auto t0 = std::chrono::steady_clock::now();
    Child c(Args(s, targets), Dir + "cwd", Dir + "tmp", Dir + "out.txt");
    EXPECT_TRUE(c.Started());
    how = c.Wait();
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 t0);
  }

  std::vector<std::string> TemporariesLeft(const std::string &targets) const {
    std::vector<std::string> left;
    for (const std::string &e : Entries(targets))
      if (OursTemporary(e))
        left.push_back("target: " + e);
    for (const std::string &e : Entries(Dir + "tmp/"))
      left.push_back("temporary folder: " + e);
    return left;
  }

  std::string Dir;
};

TEST_F(InterruptionTest, SignalsAtAnyMomentLeaveWholeFilesAndNothingBehind) {
  const Subject subjects[] = {
      {"model", {"convert", "--replace", "S/a/big.IMS", "T/out/big.IMS"}},
      {"composite", {"convert", "S/b/parts.IMP", "T/deep/er/parts.IMP"}},
      {"mass", {"mass", "--replace", "--jobs", "1", Dir + "src/", "T/"}, true},
      {"mass, two files at once", {"mass", "--replace", "--jobs", "2", Dir + "src/", "T/"}, true},
  };
  const int signals[] = {SIGINT, SIGTERM, SIGKILL};
  const double moments[] = {0.2, 0.45, 0.7, 0.95};

  for (const Subject &s : subjects) {
    SCOPED_TRACE(s.what);
    // The files an uninterrupted run writes, and how long it takes.
    const std::string ref = Dir + "ref-" + s.what + "/";
    ASSERT_TRUE(platform::MakeDirs(ref + "out"));
    WriteFileBytes(ref + "out/big.IMS", "old");
    Ended how;
    const auto took = RunToEnd(s, ref, how);
    ASSERT_TRUE(how.exited && how.status == 0) << samples::ReadFileBytes(Dir + "out.txt.err");
    const auto want = Snapshot(ref);
    ASSERT_FALSE(want.empty());

    int run = 0, stopped = 0;
    for (int sig : signals) {
      for (double moment : moments) {
        SCOPED_TRACE(testing::Message()
                     << "signal " << sig << " at " << moment << " of " << took.count() << " us");
        const std::string targets = Dir + "t" + std::to_string(run++) + "/";
        ASSERT_TRUE(platform::MakeDirs(targets + "out"));
        WriteFileBytes(targets + "out/big.IMS", "old");

        Child c(Args(s, targets), Dir + "cwd", Dir + "tmp", Dir + "out.txt");
        ASSERT_TRUE(c.Started());
        std::this_thread::sleep_for(
            std::chrono::microseconds(static_cast<int64_t>(took.count() * moment)));
        c.Signal(sig);
        const Ended e = c.Wait();
        const std::string out = samples::ReadFileBytes(Dir + "out.txt");

        // Stopped by the signal, by its own exit status, or done before it came.
        const bool caught = e.exited && e.status == 128 + sig;
        stopped += caught;
        EXPECT_TRUE((e.exited && e.status == 0) || caught || (!e.exited && e.signal == sig))
            << "exited " << e.exited << " status " << e.status << " signal " << e.signal;
        if (sig != SIGKILL) {
          EXPECT_EQ(TemporariesLeft(targets), std::vector<std::string>{});
          // Only a signal that comes before the program is ready for it ends
          // the process itself, and then nothing has begun.
          if (!e.exited) {
            EXPECT_EQ(Entries(targets), (std::vector<std::string>{"out/", "out/big.IMS"}));
          }
          if (s.mass && caught) {
            EXPECT_NE(out.find(" converted, "), std::string::npos) << "the summary so far\n" << out;
          }
        }

        // Every final name: nothing, its old file or the complete new one.
        for (const auto &[rel, bytes] : Snapshot(targets)) {
          if (OursTemporary(rel))
            continue;
          ASSERT_TRUE(want.count(rel)) << rel << " is not a name of ours";
          EXPECT_TRUE(bytes == want.at(rel) || (rel == "out/big.IMS" && bytes == "old"))
              << rel << " holds " << bytes.size() << " bytes";
        }

        // One more run over the same folders completes and leaves nothing of ours.
        Ended again;
        RunToEnd(s, targets, again);
        EXPECT_TRUE(again.exited && again.status == 0);
        EXPECT_EQ(TemporariesLeft(targets), std::vector<std::string>{});
        const auto after = Snapshot(targets);
        for (const auto &[rel, bytes] : want)
          EXPECT_TRUE(after.count(rel) && after.at(rel) == bytes) << rel;
        platform::RemoveTree(targets);
      }
    }
    EXPECT_GT(stopped, 0) << "no signal came while the conversion ran";
  }
}

} // namespace
