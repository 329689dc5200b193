#include "Edition.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

class Edition : public ::testing::Test {
protected:
  void SetUp() override { ResetCurrentEdition(); }
  void TearDown() override { ResetCurrentEdition(); }
};

struct CompareCase {
  std::string text;
  uint8_t result;
  uint8_t zep, type, edit, ver, upgr;
};
// Names the case in plain ASCII (the texts hold Windows-1251 and zero bytes).
void PrintTo(const CompareCase &c, std::ostream *os) {
  if (c.text.empty())
    *os << "(empty)";
  for (const char ch : c.text) {
    const auto b = static_cast<unsigned char>(ch);
    if (b > 0x20 && b < 0x7F)
      *os << ch;
    else
      *os << "_x" << std::hex << int(b) << std::dec;
  }
}

class EditionTable : public Edition, public ::testing::WithParamInterface<CompareCase> {};

TEST_P(EditionTable, ComparesWithTheCurrentEdition) {
  const CompareCase &c = GetParam();
  SZEPVER v; // fresh: every number 0
  EXPECT_EQ(v.CompareVersion(c.text, static_cast<int>(c.text.size())), c.result);
  EXPECT_EQ(v.NumZep, c.zep);
  EXPECT_EQ(v.TypeEdition, c.type);
  EXPECT_EQ(v.NumEdit, c.edit);
  EXPECT_EQ(v.NumVer, c.ver);
  EXPECT_EQ(v.NumUpgr, c.upgr);
  EXPECT_EQ(v.VerText, c.text.substr(0, c.text.find('\0')));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EditionTable,
    ::testing::Values(CompareCase{"5-2.10.4", 0x01, 5, 0, 2, 10, 4},
                      CompareCase{"5-2.10.3", 0x04, 5, 0, 2, 10, 3},
                      CompareCase{"5-2.10.5", 0x10, 5, 0, 2, 10, 5},
                      CompareCase{"5-2.9.9", 0x02, 5, 0, 2, 9, 9},
                      CompareCase{"6-1.0.0", 0x10, 6, 0, 1, 0, 0},
                      CompareCase{"4-9.99.99", 0x02, 4, 0, 9, 99, 99},
                      CompareCase{"5\xD3-2.10.4", 0x09, 5, 2, 2, 10, 4},
                      CompareCase{"5\xC4-2.10.4", 0x09, 5, 1, 2, 10, 4},
                      CompareCase{"5\xD3-2.10.3", 0x0C, 5, 2, 2, 10, 3},
                      CompareCase{"2.10.4", 0x02, 3, 0, 2, 10, 4},
                      CompareCase{"5-2.10.4a", 0x21, 5, 0, 2, 10, 4},
                      CompareCase{"5\xD3-2.10.4a", 0x21, 5, 2, 2, 10, 4}, // no type bit
                      CompareCase{"5-2.266.4", 0x01, 5, 0, 2, 10, 4},     // low 8 bits
                      CompareCase{std::string("5-2.10.4\0zz", 11), 0x01, 5, 0, 2, 10, 4},
                      CompareCase{"", 0x02, 3, 0, 0, 0, 0}));

TEST_F(Edition, ShortTextKeepsTheNumbersItDoesNotReach) {
  SZEPVER v;
  v.ParserVersion("5-1.7.3");
  v.ParserVersion("5-2");
  EXPECT_EQ(v.NumEdit, 2);
  EXPECT_EQ(v.NumVer, 7);
  EXPECT_EQ(v.NumUpgr, 3);
  v.ParserVersion("5-2.10.");
  EXPECT_EQ(v.NumVer, 10);
  EXPECT_EQ(v.NumUpgr, 3);
}

TEST_F(Edition, TypeAndTailAreSticky) {
  SZEPVER v;
  EXPECT_EQ(v.CompareVersion("5\xD3-2.10.4"), 0x09);
  EXPECT_EQ(v.CompareVersion("5-2.10.4"), 0x09); // the type letter stays
  EXPECT_EQ(v.TypeEdition, 2);
  EXPECT_EQ(v.CompareVersion("5-2.10.4x"), 0x21);
  EXPECT_EQ(v.CompareVersion("5-2.10.4"), 0x21); // the tail stays too
}

TEST_F(Edition, LoadVerCfgMakesTheTextCurrent) {
  SZEPVER v;
  v.LoadVerCfg("5-2.10.5");
  EXPECT_EQ(ClearZEPVER, "2.10.5");
  EXPECT_EQ(ZEPVER, "5-2.10.4"); // the edition strings stay
  EXPECT_EQ(cNumUpgr, 5);
  SZEPVER w;
  EXPECT_EQ(w.CompareVersion("5-2.10.5"), 0x01);
  SZEPVER x;
  EXPECT_EQ(x.CompareVersion("5-2.10.4"), 0x04);

  v.LoadVerCfg("5\xD3-3.1.0");
  EXPECT_EQ(cTypeZEP, 2);
  EXPECT_EQ(ClearZEPVER, "3.1.0");
  SZEPVER y;
  EXPECT_EQ(y.CompareVersion("5-3.1.0"), 0x09);

  ResetCurrentEdition();
  EXPECT_EQ(ClearZEPVER, "2.10.4");
  SZEPVER z;
  EXPECT_EQ(z.CompareVersion("5-2.10.4"), 0x01);
}

TEST_F(Edition, TwoTextFormComparesTheFirstThreeNumbers) {
  SZEPVER v;
  EXPECT_TRUE(v.CompareVersion("5-2.10.5", 8, "5-2.10.3"));
  EXPECT_EQ(v.SaveZep, 5);
  EXPECT_EQ(v.SaveEdit, 2);
  EXPECT_EQ(v.SaveVer, 10);
  EXPECT_EQ(v.NumUpgr, 5); // the first text is parsed last
  EXPECT_FALSE(v.CompareVersion("5-2.10.5", 8, "5-2.11.0"));
  EXPECT_FALSE(v.CompareVersion("5-2.10.5", 8, "6-2.10.5"));
  SZEPVER w;
  EXPECT_FALSE(w.CompareVersion("5-2.10.5", 8, "")); // empty: only NumZep 3
  EXPECT_EQ(w.SaveZep, 3);
}

TEST_F(Edition, StartValues) {
  EXPECT_EQ(ZEPVER, "5-2.10.4");
  EXPECT_EQ(StudyZEPVER, "5\xD3-2.10.4");
  EXPECT_EQ(DemoZEPVER, "5\xC4-2.10.4");
  SZEPVER v;
  EXPECT_EQ(v.CompareVersion(ZEPVER), 0x01);
  EXPECT_EQ(v.CompareVersion(DemoZEPVER), 0x09);
  EXPECT_EQ(v.TypeEdition, 1);
}

} // namespace
