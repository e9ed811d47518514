// The local clock and the sleeper. Both are interfaces so that tests replace them.
#pragma once

#include <cstdint>

namespace quorix::platform {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar (negative
// before it). A day past the month's end counts on into the next month.
constexpr int64_t DaysFromCivil(int64_t year, int month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

struct LocalTime {
  int year = 1970;
  int month = 1;        // 1..12
  int day_of_week = 4;  // 0 = Sunday .. 6 = Saturday
  int day = 1;          // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  double seconds_since_midnight = 0;  // with fractions
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() const = 0;
};

class SystemClock : public Clock {
 public:
  LocalTime Now() const override;
};

// The offset from UTC, in minutes east (+60 for CET, +120 for CEST), of the
// machine's time zone at the given local date and time, daylight saving time
// included. A local time that the change to summer time skips, or that occurs
// twice, gets one of the two offsets around it. 0 when the date cannot be
// represented.
int LocalUtcOffsetMinutes(int year, int month, int day, int hour, int minute);

class Sleeper {
 public:
  virtual ~Sleeper() = default;
  virtual void SleepMs(int milliseconds) = 0;
};

class RealSleeper : public Sleeper {
 public:
  void SleepMs(int milliseconds) override;
};

}  // namespace quorix::platform
