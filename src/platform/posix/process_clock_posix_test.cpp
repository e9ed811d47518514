#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/test_util.h"

namespace quorix::platform {
namespace {

using testing::CurrentDirectoryGuard;
using testing::ScratchDir;

class EnvironmentGuard {
 public:
  explicit EnvironmentGuard(const char* name) : name_(name), had_(::getenv(name) != nullptr) {
    if (had_) saved_ = ::getenv(name);
  }
  ~EnvironmentGuard() {
    if (had_) {
      ::setenv(name_, saved_.c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  bool had_;
  std::string saved_;
};

TEST(Process, EnvironmentVariables) {
  EnvironmentGuard guard("QUORIX_TEST_VALUE");
  ::unsetenv("QUORIX_TEST_VALUE");
  EXPECT_EQ(GetEnvironment("QUORIX_TEST_VALUE"), "");
  ::setenv("QUORIX_TEST_VALUE", "German 1", 1);
  EXPECT_EQ(GetEnvironment("QUORIX_TEST_VALUE"), "German 1");
}

TEST(Process, TempDirectoryHasNoTrailingSeparator) {
  EnvironmentGuard guard("TMPDIR");
  ::setenv("TMPDIR", "/var/tmp/quorix/", 1);
  EXPECT_EQ(TempDirectory(), "/var/tmp/quorix");
  ::unsetenv("TMPDIR");
  EXPECT_EQ(TempDirectory(), "/tmp");
}

TEST(Process, CurrentDirectory) {
  ScratchDir dir;
  CurrentDirectoryGuard guard;
  ASSERT_EQ(::chdir(dir.path().c_str()), 0);
  char real[4096];
  ASSERT_NE(::realpath(dir.path().c_str(), real), nullptr);
  EXPECT_EQ(CurrentDirectory(), real);
}

TEST(SystemClock, FieldsAgree) {
  const LocalTime now = SystemClock().Now();
  EXPECT_GE(now.year, 2020);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_GE(now.day, 1);
  EXPECT_LE(now.day, 31);
  EXPECT_GE(now.day_of_week, 0);
  EXPECT_LE(now.day_of_week, 6);
  const double whole = now.hour * 3600.0 + now.minute * 60.0 + now.second;
  EXPECT_GE(now.seconds_since_midnight, whole);
  EXPECT_LT(now.seconds_since_midnight, whole + 1.0);
}

TEST(LocalUtcOffsetMinutes, TheZoneAtThatDateSummerTimeIncluded) {
  struct Retzset {
    ~Retzset() { ::tzset(); }
  } after_restore;  // destroyed after `tz` has restored TZ
  EnvironmentGuard tz("TZ");
  struct Case {
    const char* zone;  // POSIX zone rules, so that no zone database is needed
    int year, month, day, hour, minute;
    int offset;
  };
  const Case cases[] = {
      {"CET-1CEST,M3.5.0,M10.5.0/3", 2004, 10, 5, 22, 30, 120},
      {"CET-1CEST,M3.5.0,M10.5.0/3", 2004, 12, 5, 9, 15, 60},
      {"CET-1CEST,M3.5.0,M10.5.0/3", 2004, 3, 28, 1, 59, 60},  // before the change at 2:00
      {"CET-1CEST,M3.5.0,M10.5.0/3", 2004, 3, 28, 3, 0, 120},
      {"CET-1CEST,M3.5.0,M10.5.0/3", 2004, 10, 31, 4, 0, 60},   // after the change back
      {"CET-1CEST,M3.5.0,M10.5.0/3", 2004, 3, 28, 2, 30, 120},  // skipped: summer time
      // (a doubled time gets either offset: mktime remembers its last answer)
      {"CET-1CEST,M3.5.0,M10.5.0/3", 2004, 3, 40, 12, 0, 120},  // April 9th
      {"CET-1CEST,M3.5.0,M10.5.0/3", 2004, 2, 31, 12, 0, 60},   // March 2nd
      {"CET-1CEST,M3.5.0,M10.5.0/3", 2004, 14, 1, 12, 0, 60},   // February 2005
      {"EST5EDT,M3.2.0,M11.1.0", 2007, 7, 1, 12, 0, -240},
      {"EST5EDT,M3.2.0,M11.1.0", 2007, 1, 1, 12, 0, -300},
      {"IST-5:30", 2004, 6, 1, 8, 0, 330},
      {"UTC0", 2004, 10, 5, 22, 30, 0},
  };
  for (const Case& c : cases) {
    ::setenv("TZ", c.zone, 1);
    ::tzset();
    EXPECT_EQ(LocalUtcOffsetMinutes(c.year, c.month, c.day, c.hour, c.minute), c.offset)
        << c.zone << " " << c.year << "-" << c.month << "-" << c.day << " " << c.hour;
  }
}

TEST(DaysFromCivil, KnownDates) {
  struct Case {
    int64_t year;
    int month;
    int64_t day;
    int64_t days;
  };
  const Case cases[] = {
      {1970, 1, 1, 0},      {1969, 12, 31, -1},    {2000, 3, 1, 11017},
      {2004, 2, 29, 12477}, {2004, 3, 0, 12477},   {2004, 2, 30, 12478},  // counts on
      {2100, 3, 1, 47541},  {1600, 1, 1, -135140}, {1, 1, 1, -719162},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DaysFromCivil(c.year, c.month, c.day), c.days)
        << c.year << "-" << c.month << "-" << c.day;
  }
}

// Every 37th minute of a year against the zone's rules written out by hand:
// summer time from `start` (local winter time, the hour that is skipped) to
// `end` (local summer time, the hour that comes twice); the skipped and the
// doubled hour themselves are left out. Catches a day count or a reading of
// the zone that is off by a day, an hour or a leap day.
TEST(LocalUtcOffsetMinutes, EveryPartOfTheYearFollowsTheZonesRules) {
  struct Retzset {
    ~Retzset() { ::tzset(); }
  } after_restore;
  EnvironmentGuard tz("TZ");
  struct Change {
    int month, day, hour;
  };
  struct Case {
    const char* zone;
    int year;
    Change start, end;
    int winter, summer;  // minutes east
  };
  const Case cases[] = {
      {"CET-1CEST,M3.5.0,M10.5.0/3", 2004, {3, 28, 2}, {10, 31, 3}, 60, 120},
      {"EST5EDT,M3.2.0,M11.1.0", 2000, {3, 12, 2}, {11, 5, 2}, -300, -240},
      {"NZST-12NZDT,M9.5.0,M4.1.0/3", 2008, {9, 28, 2}, {4, 6, 3}, 720, 780},  // south
  };
  constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (const Case& c : cases) {
    ::setenv("TZ", c.zone, 1);
    ::tzset();
    const bool leap = c.year % 4 == 0 && (c.year % 100 != 0 || c.year % 400 == 0);
    const auto minute_of_year = [&](int month, int day, int hour) {
      int days = day - 1;
      for (int m = 1; m < month; ++m) days += kMonthDays[m - 1] + (m == 2 && leap ? 1 : 0);
      return days * 1440 + hour * 60;
    };
    const int start = minute_of_year(c.start.month, c.start.day, c.start.hour);
    const int end = minute_of_year(c.end.month, c.end.day, c.end.hour);
    int checked = 0;
    for (int month = 1; month <= 12; ++month) {
      const int days = kMonthDays[month - 1] + (month == 2 && leap ? 1 : 0);
      for (int day = 1; day <= days; ++day) {
        for (int minute = (day * 7) % 37; minute < 1440; minute += 37) {
          const int t = minute_of_year(month, day, 0) + minute;
          if ((t >= start && t < start + 60) || (t >= end - 60 && t < end)) continue;
          const bool summer = start < end ? (t >= start && t < end) : (t >= start || t < end);
          ASSERT_EQ(LocalUtcOffsetMinutes(c.year, month, day, minute / 60, minute % 60),
                    summer ? c.summer : c.winter)
              << c.zone << " " << c.year << "-" << month << "-" << day << " " << minute / 60 << ":"
              << minute % 60;
          ++checked;
        }
      }
    }
    EXPECT_GT(checked, 14000) << c.zone;
  }
}

// The fetch threads convert dates at the same time, and the clock of the
// screen reads the local time meanwhile; under the thread sanitizer this
// fails when the zone state is touched without the clock's lock.
TEST(LocalUtcOffsetMinutes, SeveralThreadsAtOnceAgreeWithOne) {
  const int alone = LocalUtcOffsetMinutes(2004, 10, 5, 22, 30);
  std::vector<int> seen(4, -9999);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] {
      for (int round = 0; round < 50; ++round) {
        seen[i] = LocalUtcOffsetMinutes(2004, 10, 5, 22, 30);
        (void)SystemClock().Now();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const int offset : seen) EXPECT_EQ(offset, alone);
}

}  // namespace
}  // namespace quorix::platform
