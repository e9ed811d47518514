// The local clock and the real sleeper on Windows.
#include "platform/clock.h"
#include "platform/win32/windows_api.h"

namespace quorix::platform {

LocalTime SystemClock::Now() const {
  SYSTEMTIME local{};
  ::GetLocalTime(&local);
  LocalTime time;
  time.year = local.wYear;
  time.month = local.wMonth;
  time.day_of_week = local.wDayOfWeek;
  time.day = local.wDay;
  time.hour = local.wHour;
  time.minute = local.wMinute;
  time.second = local.wSecond;
  time.seconds_since_midnight =
      local.wHour * 3600.0 + local.wMinute * 60.0 + local.wSecond + local.wMilliseconds / 1000.0;
  return time;
}

void RealSleeper::SleepMs(int milliseconds) {
  if (milliseconds > 0) ::Sleep(static_cast<DWORD>(milliseconds));
}

}  // namespace quorix::platform
