// The block-file part of the fuzz target in the normal test build: the seeds
// it starts from read cleanly and compact, and every input that once broke
// it runs through again without a fault.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../../fuzz/Harness.h"
#include "../../fuzz/Seeds.h"
#include "BlockBytes.h"

namespace {

std::string RegressionDir() {
  return (std::filesystem::path(__FILE__).parent_path() / ".." / ".." / "fuzz" / "regressions")
      .lexically_normal()
      .string();
}

} // namespace

TEST(FuzzReplay, SeedsReadCleanlyAndCompact) {
  bb::TempDir dir;
  const std::vector<std::string> seeds = fuzzing::WriteSeeds(dir.path);
  ASSERT_FALSE(seeds.empty());
  for (const auto &seed : seeds) {
    SCOPED_TRACE(seed);
    const fuzzing::HarnessResult r = fuzzing::RunBlockFileHarness(seed, dir.path);
    EXPECT_EQ(r.recordErrors, 0);
    EXPECT_TRUE(r.compacted);
    EXPECT_GE(r.records, 1u); // the edition record at least
    EXPECT_EQ(r.compactedRecords, r.records);
  }
}

TEST(FuzzReplay, SavedCrashInputsRunWithoutFault) {
  bb::TempDir dir;
  std::vector<std::string> inputs;
  for (const auto &e : std::filesystem::directory_iterator(RegressionDir()))
    if (e.is_regular_file() && e.path().filename() != "README.md")
      inputs.push_back(e.path().string());
  ASSERT_FALSE(inputs.empty()) << RegressionDir();
  for (const auto &input : inputs) {
    SCOPED_TRACE(input);
    // A fault aborts the test program; damaged input ends in ZErrors only.
    const fuzzing::HarnessResult r = fuzzing::RunBlockFileHarness(input, dir.path);
    EXPECT_GT(r.errors, 0);
  }
}
