// The read-back check of converted files.
#include <gtest/gtest.h>

#include <functional>

#include "CompactWriter.h"
#include "Expected.h"
#include "Messages.h"
#include "ModelBuilder.h"
#include "Platform.h"
#include "RecordBuffer.h"

namespace {

class VerifyTest : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = platform::MakeTempDir("zepconv-verify-test-");
    ASSERT_FALSE(Dir.empty());
  }
  void TearDown() override { platform::RemoveTree(Dir); }
  std::string Dir;
};

// A compacted file with a trailer: logical files with records of several sizes.
std::string Good() {
  samples::Rng rng(3);
  std::vector<samples::Records> files(4);
  files[0] = {{0, "5-2.10.3"}};
  files[1] = {{5, rng.Bytes(20000)}, {0, rng.Bytes(1)}};
  files[3] = {{1, rng.Bytes(700)}, {0, rng.Bytes(513)}};
  return expect::WithTrailer(expect::Compacted(files));
}

TEST_F(VerifyTest, AcceptsACompactedFileWithItsTrailer) {
  samples::WriteFileBytes(Dir + "f", Good());
  EXPECT_NO_THROW(VerifyCompacted(Dir + "f"));
}

TEST_F(VerifyTest, RefusesEveryDamage) {
  const std::string good = Good();
  const uint32_t lf1 = samples::GetU32(good, 8 + 8); // address of logical file 1
  struct Case {
    const char *what;
    std::function<void(std::string &)> damage;
  } cases[] = {
      {"a data byte changed", [&](std::string &s) { s[lf1 + 100] ^= 1; }},
      {"trailer changed", [](std::string &s) { s.back() ^= 0x10; }},
      {"no trailer", [](std::string &s) { s.resize(s.size() - 8); }},
      {"bytes after the trailer", [](std::string &s) { s += "x"; }},
      {"cut in a record", [&](std::string &s) { s.resize(lf1 + 50); }},
      {"directory length wrong",
       [](std::string &s) { samples::PutU32(s, 12 + 8, samples::GetU32(s, 12 + 8) + 1); }},
      {"logical file out of place",
       [](std::string &s) { samples::PutU32(s, 8 + 8 * 2, samples::GetU32(s, 8 + 8 * 2) + 8); }},
      {"a link set", [&](std::string &s) { samples::PutU32(s, lf1 + 1, lf1); }},
      {"a deleted record", [&](std::string &s) { s[lf1] = static_cast<char>(0x85); }},
      {"a record of length 0", [&](std::string &s) { samples::PutU16(s, lf1 + 5, 0); }},
      {"a record longer than 20000", [&](std::string &s) { samples::PutU16(s, lf1 + 5, 20001); }},
      {"end of data wrong",
       [](std::string &s) { samples::PutU32(s, 0, samples::GetU32(s, 0) - 8); }},
      {"count beyond the data", [](std::string &s) { samples::PutU32(s, 4, 0x40000000u); }},
      {"empty file", [](std::string &s) { s.clear(); }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::string bad = good;
    c.damage(bad);
    // Keep the trailer right where the damage is not to the trailer itself,
    // so that the structure check is what refuses.
    if (bad.size() >= 8 && std::string(c.what).find("trailer") == std::string::npos &&
        bad.size() == good.size() && std::string(c.what) != "a data byte changed") {
      bad = bad.substr(0, bad.size() - 8);
      bad += samples::ChecksumTrailer(bad);
    }
    samples::WriteFileBytes(Dir + "f", bad);
    EXPECT_THROW(VerifyCompacted(Dir + "f"), ZError);
  }
}

} // namespace

namespace {

// The records of a logical file and its end record; returns their length.
uint32_t WriteRecords(ByteSink &out, const samples::Records &records) {
  uint32_t len = LenEof;
  for (const auto &r : records) {
    out.Record(r.flag, r.body.data(), static_cast<uint16_t>(r.body.size()));
    len += LenPrefix + static_cast<uint32_t>(r.body.size());
  }
  out.Record(0, &EofMark, 1);
  return len;
}

} // namespace

// Headers written before their lengths are known, also one embedded in
// records and longer than a record (its bytes cut by a record prefix), give
// the bytes and the checksum of writing them with their lengths known.
TEST_F(VerifyTest, HeldHeadersGiveTheBytesOfKnownOnes) {
  samples::Rng rng(8);
  std::vector<samples::Records> inner(1300); // a directory of 10408 bytes
  for (size_t i = 0; i < inner.size(); i += 97)
    inner[i] = {{0, rng.Bytes(1 + i % 3000)}};
  std::vector<samples::Records> outer(3);
  outer[0] = {{0, rng.Bytes(600)}};
  outer[2] = {{0, rng.Bytes(5000)}, {0, rng.Bytes(17)}};
  const std::string innerBytes = expect::Compacted(inner);
  samples::WriteFileBytes(Dir + "f", ""); // ChecksumFile writes a file made for it
  {
    ChecksumFile f(Dir + "f");
    const uint64_t head = f.HeadLater(3);
    std::vector<uint32_t> lens(3);
    lens[0] = WriteRecords(f, outer[0]);
    EmbedSink e(f);
    const uint64_t innerHead = e.HeadLater(static_cast<uint32_t>(inner.size()));
    std::vector<uint32_t> innerLens;
    for (const auto &records : inner)
      innerLens.push_back(WriteRecords(e, records));
    e.Finish();
    e.PatchHead(innerHead, innerLens);
    lens[1] = static_cast<uint32_t>(EmbedSink::Length(innerBytes.size()));
    lens[2] = WriteRecords(f, outer[2]);
    f.PatchHead(head, lens);
    f.Finish();
  }
  std::vector<samples::Records> want = outer;
  want[1] = expect::Embedded(innerBytes);
  EXPECT_EQ(samples::ReadFileBytes(Dir + "f"), expect::WithTrailer(expect::Compacted(want)));
  EXPECT_NO_THROW(VerifyCompacted(Dir + "f"));
}
