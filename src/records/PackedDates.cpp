// Packed dates and times, their texts and the date parser.
#include <cstdio>

#include "BilingualText.h"
#include "Cursor.h"
#include "Messages.h"
#include "RecordLayout.h"

namespace {

std::function<platform::LocalTime()> Clock;

std::string Two(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

std::string Four(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d", v);
  return buf;
}

int DayOf(uint16_t d) {
  return d & 31;
}
int MonthOf(uint16_t d) {
  return (d >> 5) & 15;
}
int YearOffsetOf(uint16_t d) {
  return d >> 9;
}
int YearOf(uint16_t d) {
  int off = YearOffsetOf(d);
  return off < 90 ? 2000 + off : 1900 + off;
}

uint16_t PackTime(int hour, int minute, int second) {
  return static_cast<uint16_t>(((hour & 31) << 11) | ((minute & 63) << 5) | ((second / 2) & 31));
}

// The runtime's decimal conversion of a piece of a date text.
int DatePart(const std::string &text, size_t from, size_t count) {
  std::string piece = from < text.size() ? text.substr(from, count) : std::string();
  bool ok = !piece.empty() && piece.size() <= 9;
  int v = 0;
  for (char c : piece) {
    ok = ok && c >= '0' && c <= '9';
    v = v * 10 + (c - '0');
  }
  if (!ok)
    throw ZError("Дата \"" + Cp1251ToUtf8(text) + "\" не в виде ДД.ММ.ГГГГ", 0);
  return v;
}

// A value read by LoadIntNumeric, kept within int (larger values stay invalid).
int Saturate(uint64_t v) {
  return v > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(v);
}

} // namespace

uint16_t PackDate_2b(int day, int month, int year) {
  int64_t off = year >= 2000 ? int64_t{year} - 2000 : int64_t{year} - 1900;
  int64_t v = int64_t{day} + 32 * int64_t{month} + 512 * off;
  return static_cast<uint16_t>(static_cast<uint64_t>(v));
}

std::string UnPackDt1(uint16_t date) {
  return Two(DayOf(date)) + "." + Two(MonthOf(date)) + "." + Four(YearOf(date));
}

uint16_t PackDt1(const std::string &text) {
  int day = DatePart(text, 0, 2);
  int month = DatePart(text, 3, 2);
  int year = DatePart(text, 6, 4);
  return PackDate_2b(day, month, year);
}

void SetLocalClock(std::function<platform::LocalTime()> clock) {
  Clock = std::move(clock);
}

platform::LocalTime LocalClockNow() {
  return Clock ? Clock() : platform::LocalNow();
}

uint16_t PackDateCurrent() {
  platform::LocalTime t = LocalClockNow();
  return PackDate_2b(t.Day, t.Month, t.Year);
}

void PackCurDateTime(uint16_t &date, uint16_t &time) {
  platform::LocalTime t = LocalClockNow(); // one reading for both halves
  date = PackDate_2b(t.Day, t.Month, t.Year);
  time = PackTime(t.Hour, t.Minute, t.Second);
}

uint32_t PackCurDateTime() {
  uint16_t date, time;
  PackCurDateTime(date, time);
  return (static_cast<uint32_t>(date) << 16) | time;
}

std::string CurDateTime() {
  platform::LocalTime t = LocalClockNow();
  return Two(t.Day) + "." + Two(t.Month) + "." + Four(t.Year) + "/" + Two(t.Hour) + "." +
         Two(t.Minute);
}

std::string UnPackDt2(uint32_t dt) {
  std::string s = UnPackDt1(static_cast<uint16_t>(dt >> 16));
  uint16_t time = static_cast<uint16_t>(dt & 0xFFFF);
  if (time != 0)
    s += "/" + Two(time >> 11) + "." + Two((time >> 5) & 63) + "." + Two((time & 31) * 2);
  return s;
}

std::string UnPackDt3(uint16_t date) {
  return Two(DayOf(date)) + "." + Two(MonthOf(date)) + "." + Two(YearOffsetOf(date));
}

int CheckDate(const std::string &text, int &day, int &month, int &year, uint16_t &packed,
              bool allowZero) {
  static const int MonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const std::string &t = allowZero && text == "00.00.2000" ? std::string("01.01.2000") : text;
  const char *cur = t.data();
  const char *end = t.data() + t.size();

  day = Saturate(LoadIntNumeric(cur, end));
  if (cur == end || *cur != '.')
    return 1;
  ++cur;
  month = Saturate(LoadIntNumeric(cur, end));
  if (month < 1 || month > 12 || cur == end || *cur != '.')
    return 1;
  ++cur;
  year = Saturate(LoadIntNumeric(cur, end));
  int length = MonthDays[month - 1] + (month == 2 && year % 4 == 0 ? 1 : 0);
  if (day < 1 || day > length)
    return 1;
  if (year < 100)
    year += year < 90 ? 2000 : 1900;
  packed = PackDate_2b(day, month, year);
  return 0;
}
