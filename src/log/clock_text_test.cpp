#include "log/clock_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorix::log {
namespace {

platform::LocalTime At(int year, int month, int day, int day_of_week, int hour = 0,
                       int minute = 0, int second = 0) {
  platform::LocalTime time;
  time.year = year;
  time.month = month;
  time.day = day;
  time.day_of_week = day_of_week;
  time.hour = hour;
  time.minute = minute;
  time.second = second;
  return time;
}

TEST(LogTime, TwoDigitFields) {
  EXPECT_EQ(LogTime(At(2004, 3, 5, 5, 14, 3, 59)), "14:03:59");
  EXPECT_EQ(LogTime(At(2004, 3, 5, 5, 0, 0, 0)), "00:00:00");
  EXPECT_EQ(LogTime(At(2004, 3, 5, 5, 23, 59, 9)), "23:59:09");
}

struct DateCase {
  platform::LocalTime time;
  std::string omralog;
  std::string expected;
};

TEST(HeaderDate, StyleChosenByOmralog) {
  const auto march5 = At(2004, 3, 5, 5);   // a Friday
  const auto jan1 = At(2010, 1, 1, 5);     // a Friday
  const auto dec31 = At(1999, 12, 31, 5);  // a Friday
  const auto sunday = At(2000, 1, 2, 0);
  const auto saturday = At(2005, 10, 1, 6);
  const std::vector<DateCase> cases = {
      {march5, "XP", "05.03.2004"},
      {march5, "xp", "05.03.2004"},
      {march5, "Xp", "05.03.2004"},
      {march5, "", "Fri 05 Mar 04"},
      {march5, "XP ", "Fri 05 Mar 04"},
      {march5, "XPX", "Fri 05 Mar 04"},
      {march5, "OMRA", "Fri 05 Mar 04"},
      {jan1, "", "Fri 01 Jan 10"},
      {jan1, "XP", "01.01.2010"},
      {dec31, "", "Fri 31 Dec 99"},
      {dec31, "xP", "31.12.1999"},
      {sunday, "", "Sun 02 Jan 00"},
      {saturday, "", "Sat 01 Oct 05"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HeaderDate(c.time, c.omralog), c.expected) << c.omralog;
  }
}

TEST(HeaderDate, ClockOutOfRangeDoesNotReadPastTables) {
  EXPECT_EQ(HeaderDate(At(2004, 13, 5, 7), ""), "??? 05 ??? 04");
  EXPECT_EQ(HeaderDate(At(2004, 0, 5, -1), ""), "??? 05 ??? 04");
}

struct ElapsedCase {
  double start;
  double now;
  std::string expected;
};

TEST(FormatElapsed, RoundsUpAndWrapsAtMidnight) {
  const std::vector<ElapsedCase> cases = {
      {86390, 5, "00:00:15"},  // ten seconds before and five after midnight
      {100, 100, "00:00:00"},
      {0, 3725, "01:02:05"},
      {0, 0.2, "00:00:01"},  // a fraction counts as a whole second
      {10, 11, "00:00:01"},  // a whole number stays
      {10.5, 12.5, "00:00:02"},
      {10.7, 12.7, "00:00:02"},
      {0.1, 59.2, "00:01:00"},
      {86399.5, 0.5, "00:00:01"},
      {0, 86399, "23:59:59"},
      {0, 86400, "24:00:00"},
      {0, 360000, "100:00:00"},  // hours grow past two digits
      {1, 0, "23:59:59"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatElapsed(c.start, c.now), c.expected) << c.start << " -> " << c.now;
  }
}

}  // namespace
}  // namespace quorix::log
