// Packed dates and times, their texts and the date parser.
#include <gtest/gtest.h>

#include "Messages.h"
#include "RecordLayout.h"

namespace {

// Fixes the clock for one scope.
struct ClockScope {
  explicit ClockScope(platform::LocalTime t) {
    SetLocalClock([t] { return t; });
  }
  ~ClockScope() { SetLocalClock(nullptr); }
};

} // namespace

TEST(PackedDate, PacksAndReadsBack) {
  struct Case {
    int day, month, year;
    uint16_t packed;
    const char *text, *shortText;
  } cases[] = {
      {1, 1, 2000, 33, "01.01.2000", "01.01.00"},
      {31, 12, 1999, 51103, "31.12.1999", "31.12.99"},
      {5, 6, 1995, 5 + 32 * 6 + 512 * 95, "05.06.1995", "05.06.95"},
      {28, 2, 2011, 28 + 64 + 512 * 11, "28.02.2011", "28.02.11"},
      {1, 1, 1990, 33 + 512 * 90, "01.01.1990", "01.01.90"},
      {31, 12, 2089, 31 + 384 + 512 * 89, "31.12.2089", "31.12.89"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(PackDate_2b(c.day, c.month, c.year), c.packed);
    EXPECT_EQ(UnPackDt1(c.packed), c.text);
    EXPECT_EQ(UnPackDt3(c.packed), c.shortText);
    EXPECT_EQ(PackDt1(c.text), c.packed);
  }
}

TEST(PackedDate, YearsFrom2090WrapToTheSameDateInThe1900s) {
  EXPECT_EQ(PackDate_2b(15, 6, 2090), PackDate_2b(15, 6, 1990));
  EXPECT_EQ(UnPackDt1(PackDate_2b(15, 6, 2090)), "15.06.1990");
  EXPECT_EQ(UnPackDt1(PackDate_2b(1, 1, 2099)), "01.01.1999");
}

TEST(PackedDate, TextNotInTheFullFormIsRefused) {
  for (const char *bad : {"", "1.1.2000", "01-01-20x0", "01.01", "ab.01.2000", "01.01.-200"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(PackDt1(bad), ZError);
  }
  // characters after the tenth are not looked at
  EXPECT_EQ(PackDt1("01.01.2000 and more"), 33);
}

TEST(UnPackDt2, DateAndTheTimeWhenThereIsOne) {
  uint32_t date = PackDate_2b(3, 4, 2021);
  EXPECT_EQ(UnPackDt2(date << 16), "03.04.2021");
  uint32_t time = (13u << 11) | (5u << 5) | (7u / 2);
  EXPECT_EQ(UnPackDt2((date << 16) | time), "03.04.2021/13.05.06");
  EXPECT_EQ(UnPackDt2((date << 16) | 1), "03.04.2021/00.00.02");
}

TEST(CurrentDate, FromTheClock) {
  ClockScope clock({2024, 3, 5, 7, 9, 59});
  EXPECT_EQ(PackDateCurrent(), PackDate_2b(5, 3, 2024));
  uint16_t date = 0, time = 0;
  PackCurDateTime(date, time);
  EXPECT_EQ(date, PackDate_2b(5, 3, 2024));
  EXPECT_EQ(time, (7 << 11) | (9 << 5) | 29);
  EXPECT_EQ(PackCurDateTime(), (static_cast<uint32_t>(date) << 16) | time);
  EXPECT_EQ(CurDateTime(), "05.03.2024/07.09");
  EXPECT_EQ(UnPackDt2(PackCurDateTime()), "05.03.2024/07.09.58");
}

TEST(CurrentDate, SystemClockGivesAPlausibleDate) {
  SetLocalClock(nullptr);
  platform::LocalTime t = platform::LocalNow();
  ASSERT_GE(t.Year, 2024);
  ASSERT_GE(t.Month, 1);
  ASSERT_LE(t.Month, 12);
  ASSERT_GE(t.Day, 1);
  ASSERT_LE(t.Day, 31);
  std::string text = CurDateTime();
  ASSERT_EQ(text.size(), 16u);
  // the date part agrees with the packed date unless midnight passed in between
  std::string today = UnPackDt1(PackDateCurrent());
  EXPECT_TRUE(text.substr(0, 10) == today || UnPackDt1(PackDateCurrent()) != today) << text;
}

TEST(CheckDate, AcceptsAndRefuses) {
  struct Case {
    const char *text;
    bool allowZero;
    int result, day, month, year; // day, month, year as stored
    uint16_t packed;              // when valid
  } cases[] = {
      {"29.02.2100", false, 0, 29, 2, 2100, PackDate_2b(29, 2, 2100)},
      {"29.02.2012", false, 0, 29, 2, 2012, PackDate_2b(29, 2, 2012)},
      {"29.02.2011", false, 1, 29, 2, 2011, 0},
      {"31.04.2011", false, 1, 31, 4, 2011, 0},
      {"00.05.2011", false, 1, 0, 5, 2011, 0},
      {"15.13.2011", false, 1, 15, 13, -1, 0},
      {"5.6.95", false, 0, 5, 6, 1995, PackDate_2b(5, 6, 1995)},
      {"5.6.11", false, 0, 5, 6, 2011, PackDate_2b(5, 6, 2011)},
      {"5.6.89", false, 0, 5, 6, 2089, PackDate_2b(5, 6, 2089)},
      {"5.6.995", false, 0, 5, 6, 995, PackDate_2b(5, 6, 995)},
      {"00.00.2000", true, 0, 1, 1, 2000, 33},
      {"00.00.2000", false, 1, 0, 0, -1, 0},
      {"01.01.2000xyz", false, 0, 1, 1, 2000, 33},
      {"12", false, 1, 12, -1, -1, 0},
      {"12.5", false, 1, 12, 5, -1, 0},
      {"", false, 1, 0, -1, -1, 0},
      {"4294967297.01.2000", false, 1, 0x7FFFFFFF, 1, 2000, 0}, // no wrap to day 1
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.text) + (c.allowZero ? " (zero allowed)" : ""));
    int day = -1, month = -1, year = -1;
    uint16_t packed = 0xABCD;
    EXPECT_EQ(CheckDate(c.text, day, month, year, packed, c.allowZero), c.result);
    EXPECT_EQ(day, c.day);
    EXPECT_EQ(month, c.month);
    EXPECT_EQ(year, c.year);
    EXPECT_EQ(packed, c.result == 0 ? c.packed : 0xABCD);
  }
}
