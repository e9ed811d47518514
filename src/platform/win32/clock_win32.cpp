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

int LocalUtcOffsetMinutes(int year, int month, int day, int hour, int minute) {
  if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1 || day > 31) return 0;
  SYSTEMTIME local{};
  local.wYear = static_cast<WORD>(year);
  local.wMonth = static_cast<WORD>(month);
  local.wDay = static_cast<WORD>(day);
  local.wHour = static_cast<WORD>(hour);
  local.wMinute = static_cast<WORD>(minute);
  SYSTEMTIME utc{};
  // The zone's rules for that year (its dynamic daylight saving dates included).
  if (!::TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc)) return 0;
  FILETIME local_file{};
  FILETIME utc_file{};
  if (!::SystemTimeToFileTime(&local, &local_file) || !::SystemTimeToFileTime(&utc, &utc_file)) {
    return 0;
  }
  const auto ticks = [](const FILETIME& f) {
    return static_cast<long long>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) |
                                  f.dwLowDateTime);
  };
  return static_cast<int>((ticks(local_file) - ticks(utc_file)) / (10000000LL * 60));
}

void RealSleeper::SleepMs(int milliseconds) {
  if (milliseconds > 0) ::Sleep(static_cast<DWORD>(milliseconds));
}

}  // namespace quorix::platform
