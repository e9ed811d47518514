// The local clock and the real sleeper on POSIX.
#include <sys/time.h>
#include <time.h>

#include <cerrno>

#include "platform/clock.h"

namespace quorix::platform {

LocalTime SystemClock::Now() const {
  struct timeval now {};
  ::gettimeofday(&now, nullptr);
  const time_t seconds = now.tv_sec;
  struct tm local {};
  ::localtime_r(&seconds, &local);
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

void RealSleeper::SleepMs(int milliseconds) {
  if (milliseconds <= 0) return;
  struct timespec left {};
  left.tv_sec = milliseconds / 1000;
  left.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace quorix::platform
