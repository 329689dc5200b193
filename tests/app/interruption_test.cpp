// The user's request to stop (a signal, noted by the platform layer) at every
// moment of a conversion: the work unwinds through its failure path, reports
// the stop rather than a failure, and leaves nothing behind; a mass run stops
// after the file it stopped and keeps what it converted before.
#include <gtest/gtest.h>

#include <csignal>

#include "AppFixture.h"
#include "Expected.h"
#include "MassConversion.h"
#include "ModelBuilder.h"
#include "Platform.h"

namespace {

const char EmbedText[] = "Неопределенная ошибка при создании файлов ИМСП";

class InterruptionTest : public AppTest {
protected:
  // Asks to stop just before the `n`-th opening of a file from now on.
  void StopAtOpening(int n) {
    platform::SetCallHook(platform::Op::Open,
                          [this, n](platform::Op, const std::string &, const std::string &) {
                            if (++Openings == n)
                              platform::SetInterruption(SIGINT);
                          });
    Openings = 0;
  }
  int Openings = 0;
};

TEST_F(InterruptionTest, StopAtAnyMomentIsReportedAndLeavesNothing) {
  const Converted want = WriteSources(11);

  for (const std::string ext : {".IMS", ".IMP"}) {
    const std::string source = Path("s" + ext), target = Path("new/er/t" + ext);
    int stops = 0;
    for (int n = 1;; ++n) {
      SCOPED_TRACE(ext + " stopped at opening " + std::to_string(n));
      ASSERT_LT(n, 500) << "the conversion never finished";
      Shown.clear();
      platform::SetInterruption(0);
      StopAtOpening(n);
      const ConvertOutcome out =
          E->ConvertFile(source, target, ext == ".IMP" ? 3 : 1, ExistingTarget::Copy);
      platform::ClearInjectedFailures();
      if (out.ok()) {
        // Asked after the final rename, or never: the conversion stands.
        EXPECT_TRUE(samples::ReadFileBytes(target) == want.Of(ext));
        break;
      }
      ++stops;
      EXPECT_EQ(out.status, ConvertStatus::Interrupted) << out.reason;
      EXPECT_EQ(out.reason, "прервано сигналом SIGINT");
      EXPECT_EQ(ClosingMessage(out), "Преобразование прервано!");
      // The stop is told once, and no failure is.
      ASSERT_FALSE(Shown.empty());
      EXPECT_EQ(Shown.back().Text, "файл " + source + "\nпреобразование прервано");
      for (const std::string &t : Texts()) {
        EXPECT_EQ(t.find("не удается преобразовать"), std::string::npos) << t;
        EXPECT_EQ(t.find(EmbedText), std::string::npos) << t;
      }
      EXPECT_FALSE(platform::DirExists(Path("new"))) << "the folders it made are gone";
      EXPECT_TRUE(TempLeft().empty());
      EXPECT_EQ(FilesIn(Dir), (std::vector<std::string>{"s.IMP", "s.IMS", "systmp"}));
    }
    EXPECT_GT(stops, 3);
    platform::RemoveTree(Path("new"));
  }
}

TEST_F(InterruptionTest, StoppedMassRunKeepsWhatItConvertedAndStartsNoMore) {
  const std::string src = Path("src/"), dst = Path("dst/");
  ASSERT_TRUE(platform::MakeDirs(src));
  std::vector<std::string> want;
  for (int i = 0; i < 4; ++i) {
    samples::ModelSpec m;
    m.seed = 40 + static_cast<uint64_t>(i);
    want.push_back(
        expect::Model(samples::WriteModel(src + "m" + std::to_string(i) + ".IMS", m), 1));
  }
  MassRequest req;
  req.sourceFolder = src;
  req.targetFolder = dst;
  req.policy = ExistingTarget::Copy;
  req.askAfterFailure = false;
  std::vector<std::string> started;
  req.onStart = [&](const PlannedFile &f, size_t, size_t) {
    started.push_back(f.source);
    // During the third file.
    if (started.size() == 3)
      StopAtOpening(2);
  };
  const MassReport rep = MassConvert(*E, req);
  platform::ClearInjectedFailures();
  EXPECT_EQ(rep.status, MassStatus::Interrupted);
  EXPECT_EQ(started.size(), 3u) << "no file starts after the stop";
  ASSERT_EQ(rep.results.size(), 3u);
  EXPECT_EQ(rep.converted(), 2);
  EXPECT_EQ(rep.failed(), 0) << "a stopped file has not failed";
  EXPECT_EQ(rep.results[2].outcome.status, ConvertStatus::Interrupted);
  EXPECT_EQ(Shown.back().Text, "Преобразование прервано !");
  for (int i = 0; i < 2; ++i)
    EXPECT_TRUE(samples::ReadFileBytes(dst + "m" + std::to_string(i) + ".IMS") == want[i]);
  EXPECT_EQ(FilesIn(dst), (std::vector<std::string>{"m0.IMS", "m1.IMS"}));
  EXPECT_TRUE(TempLeft().empty());

  // A stop while the tree is searched: nothing is converted.
  Shown.clear();
  platform::SetInterruption(SIGTERM);
  const MassReport none = MassConvert(*E, req);
  EXPECT_EQ(none.status, MassStatus::Interrupted);
  EXPECT_TRUE(none.results.empty());
  EXPECT_EQ(Texts(), std::vector<std::string>{"Преобразование прервано !"});
}

} // namespace
