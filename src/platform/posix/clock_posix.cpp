// The local clock and the real sleeper on POSIX.
#include <sys/time.h>
#include <time.h>

#include <cerrno>
#include <mutex>

#include "platform/clock.h"

namespace quorix::platform {
namespace {

// The C library's zone state (what TZ names, read again by every mktime) is
// shared by all threads. glibc guards it with a lock of its own that the
// thread sanitizer cannot see, so the workers' date conversions take this
// one around every call that may touch that state.
std::mutex zone_state_lock;

// The zone's offset, in seconds east, at an instant; false when the C
// library cannot convert it. localtime_r reads the zone's rules once, where
// mktime looks at the zone file again on every call.
bool OffsetAt(long long instant, long* offset) {
  const time_t seconds = static_cast<time_t>(instant);
  struct tm local {};
  {
    const std::lock_guard<std::mutex> hold(zone_state_lock);
    if (::localtime_r(&seconds, &local) == nullptr) return false;
  }
  *offset = local.tm_gmtoff;
  return true;
}

int MktimeOffsetMinutes(int year, int month, int day, int hour, int minute) {
  struct tm local {};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_isdst = -1;  // the zone's rules decide whether summer time applies
  time_t seconds = 0;
  {
    const std::lock_guard<std::mutex> hold(zone_state_lock);
    seconds = ::mktime(&local);
  }
  if (seconds == static_cast<time_t>(-1)) return 0;
  return static_cast<int>(local.tm_gmtoff / 60);
}

}  // namespace

LocalTime SystemClock::Now() const {
  struct timeval now {};
  ::gettimeofday(&now, nullptr);
  const time_t seconds = now.tv_sec;
  struct tm local {};
  {
    const std::lock_guard<std::mutex> hold(zone_state_lock);
    ::localtime_r(&seconds, &local);
  }
  LocalTime time;
  time.year = local.tm_year + 1900;
  time.month = local.tm_mon + 1;
  time.day_of_week = local.tm_wday;
  time.day = local.tm_mday;
  time.hour = local.tm_hour;
  time.minute = local.tm_min;
  time.second = local.tm_sec;
  time.seconds_since_midnight = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec +
                                static_cast<double>(now.tv_usec) / 1e6;
  return time;
}

int LocalUtcOffsetMinutes(int year, int month, int day, int hour, int minute) {
  if (month < 1 || month > 12) return MktimeOffsetMinutes(year, month, day, hour, minute);
  // Every reading of that local time lies within a day of it read as UTC.
  // Where the zone has the same offset a day before, then and a day after
  // (no zone changes its offset and back within two days), that offset is
  // the answer; near a change (a skipped or doubled hour) mktime decides
  // which of the two offsets applies, as it always did.
  constexpr long long kDay = 86400;
  const long long as_utc = DaysFromCivil(year, month, day) * kDay + hour * 3600LL + minute * 60LL;
  long before = 0;
  long at = 0;
  long after = 0;
  if (OffsetAt(as_utc - kDay, &before) && OffsetAt(as_utc, &at) &&
      OffsetAt(as_utc + kDay, &after) && before == at && at == after) {
    return static_cast<int>(at / 60);
  }
  return MktimeOffsetMinutes(year, month, day, hour, minute);
}

void RealSleeper::SleepMs(int milliseconds) {
  if (milliseconds <= 0) return;
  struct timespec left {};
  left.tv_sec = milliseconds / 1000;
  left.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace quorix::platform
