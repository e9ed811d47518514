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

void RealSleeper::SleepMs(int milliseconds) {
  if (milliseconds <= 0) return;
  struct timespec left {};
  left.tv_sec = milliseconds / 1000;
  left.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace quorix::platform
