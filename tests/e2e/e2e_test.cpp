// zepconv run as a process over a sample tree.
#include "BlockBuilder.h"
#include "Platform.h"
#include "RunProgram.h"
#include "SampleTree.h"
#include "TreeSnapshot.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace samples;

namespace {

// The program under test; a relative path is taken from the folder the
// test starts in.
const std::string ZepconvPath = platform::AbsolutePath(ZEPCONV_PATH);

// Lines end in CR LF on Windows.
std::string Unix(std::string text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
      out += text[i];
  return out;
}

class E2eTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = platform::MakeTempDir("zep-e2e");
    ASSERT_FALSE(dir_.empty());
    for (const char *d : {"cwd", "tmp"})
      ASSERT_TRUE(platform::MakeDirs(dir_ + d));
    entries_ = WriteSampleTree(dir_ + "src");
  }
  void TearDown() override { platform::RemoveTree(dir_); }

  // A path below the scratch folder, written with "/".
  std::string Sub(const std::string &rel) const { return dir_ + platform::NativePath(rel); }

  // Runs zepconv with `args` in the folder "cwd", with a private temporary
  // folder; returns the exit status and keeps the output.
  int Zepconv(const std::vector<std::string> &args) {
    const int status = testproc::RunProgram(
        {ZepconvPath, args, dir_ + "cwd", dir_ + "tmp", dir_ + "out.txt", dir_ + "err.txt"});
    out = Unix(ReadFileBytes(dir_ + "out.txt"));
    err = Unix(ReadFileBytes(dir_ + "err.txt"));
    return status;
  }

  std::string dir_, out, err;
  std::vector<SampleEntry> entries_;
};

std::set<std::string> Lines(const std::string &text, const std::string &prefix) {
  std::set<std::string> s;
  size_t at = 0;
  while (at < text.size()) {
    const size_t nl = text.find('\n', at);
    const std::string line = text.substr(at, nl - at);
    if (line.starts_with(prefix))
      s.insert(line.substr(prefix.size()));
    at = nl == std::string::npos ? text.size() : nl + 1;
  }
  return s;
}

} // namespace

TEST_F(E2eTest, MassConvertsEveryListedFileAndLeavesNothingBehind) {
  const auto sourcesBefore = Snapshot(Sub("src/"));
  const std::string src = Sub("src/"), t1 = Sub("t1/"), t2 = Sub("t2/");

  ASSERT_EQ(Zepconv({"mass", "--list", src, t1}), 0) << err;
  EXPECT_FALSE(platform::DirExists(t1));
  std::set<std::string> listed;
  for (const auto &l : Lines(out, src))
    listed.insert(l.substr(0, l.find(" -> ")));
  std::set<std::string> expectListed, expectConverted;
  for (const auto &e : entries_) {
    if (e.role == SampleRole::Convertible || e.role == SampleRole::Damaged)
      expectListed.insert(e.path);
    if (e.role == SampleRole::Convertible)
      expectConverted.insert(e.path);
  }
  EXPECT_EQ(listed, expectListed);

  // The damaged file fails, so the exit status is 1; every other file converts.
  EXPECT_EQ(Zepconv({"mass", src, t1}), 1) << out << err;
  const std::string firstOut = out;
  std::set<std::string> converted;
  for (const auto &l : Lines(out, "converted: " + src))
    converted.insert(l.substr(0, l.find(" -> ")));
  EXPECT_EQ(converted, expectConverted);
  EXPECT_EQ(Lines(out, "failed: " + src).size(), 1u);
  EXPECT_NE(out.find(std::to_string(expectConverted.size()) + " converted, 1 failed, 0 skipped\n"),
            std::string::npos)
      << out;
  // Standard error is a file here, not a terminal: no progress display.
  EXPECT_EQ(err.find('\r'), std::string::npos) << err;

  // The target tree holds exactly the converted files, each sound.
  const auto targets = Snapshot(t1);
  std::set<std::string> names;
  for (const auto &[rel, bytes] : targets)
    names.insert(rel);
  EXPECT_EQ(names, expectConverted);
  for (const auto &rel : names) {
    EXPECT_EQ(Zepconv({"verify", t1 + rel}), 0) << out;
    EXPECT_EQ(targets.at(rel).substr(GetU32(targets.at(rel), 8) + kPrefixSize, 8), "5-2.10.3");
  }

  // Sources unchanged; a second run into another folder, one file at a time
  // (the first converted as many at once as there are cores), gives
  // identical files and the same lines.
  EXPECT_EQ(Snapshot(src), sourcesBefore);
  EXPECT_EQ(Zepconv({"mass", "--jobs", "1", src, t2}), 1);
  EXPECT_EQ(Snapshot(t2), targets);
  std::string secondOut = out;
  for (size_t at = secondOut.find(t2); at != std::string::npos; at = secondOut.find(t2, at))
    secondOut.replace(at, t2.size(), t1);
  EXPECT_EQ(secondOut, firstOut);
  // No temporary file in the working folder or the temporary folder.
  EXPECT_TRUE(Snapshot(Sub("cwd/")).empty());
  EXPECT_TRUE(Snapshot(Sub("tmp/")).empty());
}

TEST_F(E2eTest, ConvertingIntoExistingTargetsCopiesOrReplaces) {
  const std::string src = Sub("src/"), t = Sub("t/");
  ASSERT_EQ(Zepconv({"mass", src, t}), 1);
  const auto first = Snapshot(t);
  // --copy (the default): every target gets its "-k" twin, the first ones stay.
  ASSERT_EQ(Zepconv({"mass", src, t}), 1);
  const auto second = Snapshot(t);
  EXPECT_EQ(second.size(), first.size() * 2);
  for (const auto &[rel, bytes] : first) {
    EXPECT_EQ(second.at(rel), bytes);
    const size_t dot = rel.rfind('.');
    EXPECT_EQ(second.at(rel.substr(0, dot) + "-k" + rel.substr(dot)), bytes) << rel;
  }
  // --replace: the same names again, nothing new.
  ASSERT_EQ(Zepconv({"mass", "--replace", src, t}), 1);
  EXPECT_EQ(Snapshot(t), second);
  EXPECT_TRUE(Snapshot(Sub("cwd/")).empty());
}

TEST_F(E2eTest, SingleFileConvertAndExitStatuses) {
  const std::string s = Sub("src/Подряд/подряд.IMP");
  EXPECT_EQ(Zepconv({"convert", s, "../one.IMP"}), 0) << err;
  EXPECT_EQ(out, "converted: " + s + " -> " + dir_ + "one.IMP\n");
  EXPECT_EQ(Zepconv({"verify", dir_ + "one.IMP"}), 0);
  EXPECT_EQ(Zepconv({"convert", Sub("src/old/старый.IMS"), "x.IMS"}), 1);
  EXPECT_EQ(Zepconv({"convert"}), 2);
  EXPECT_EQ(Zepconv({"--help"}), 0);
  EXPECT_TRUE(Snapshot(Sub("cwd/")).empty());
}
