// The clock texts: time of a log line, date of a log header, elapsed run time.
#include "log/clock_text.h"

#include <array>
#include <cmath>
#include <string_view>

#include "text/text.h"

namespace quorix::log {

namespace {

constexpr std::array<std::string_view, 7> kWeekdays = {"Sun", "Mon", "Tue", "Wed",
                                                      "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// At least two digits, with a leading zero below 10.
void AppendTwoDigits(std::string& out, long long value) {
  if (value >= 0 && value < 10) out.push_back('0');
  out += std::to_string(value);
}

}  // namespace

std::string LogTime(const platform::LocalTime& time) {
  std::string out;
  out.reserve(8);
  AppendTwoDigits(out, time.hour);
  out.push_back(':');
  AppendTwoDigits(out, time.minute);
  out.push_back(':');
  AppendTwoDigits(out, time.second);
  return out;
}

std::string HeaderDate(const platform::LocalTime& time, std::string_view omralog) {
  std::string out;
  if (text::UpperCase437(omralog) == "XP") {
    AppendTwoDigits(out, time.day);
    out.push_back('.');
    AppendTwoDigits(out, time.month);
    out.push_back('.');
    out += std::to_string(time.year);
    return out;
  }
  // A clock outside its ranges would be a fault of the system; show "???"
  // rather than read past a table.
  out += time.day_of_week >= 0 && time.day_of_week < 7 ? kWeekdays[time.day_of_week] : "???";
  out.push_back(' ');
  AppendTwoDigits(out, time.day);
  out.push_back(' ');
  out += time.month >= 1 && time.month <= 12 ? kMonths[time.month - 1] : "???";
  out.push_back(' ');
  AppendTwoDigits(out, ((time.year % 100) + 100) % 100);
  return out;
}

std::string FormatElapsed(double start, double now) {
  if (start > now) now += 86400;  // midnight has passed since the start
  double elapsed = now - start;
  // Rounded up to whole seconds; the small allowance keeps a difference that
  // is whole but for the last bits of the floating-point subtraction whole.
  elapsed = std::ceil(elapsed - 1e-6);
  long long seconds = 0;
  if (elapsed > 0) {
    constexpr double kLimit = 1e15;  // far beyond any run, and exactly representable
    seconds = elapsed < kLimit ? static_cast<long long>(elapsed) : static_cast<long long>(kLimit);
  }
  std::string out;
  out.reserve(8);
  AppendTwoDigits(out, seconds / 3600);
  out.push_back(':');
  AppendTwoDigits(out, seconds % 3600 / 60);
  out.push_back(':');
  AppendTwoDigits(out, seconds % 60);
  return out;
}

}  // namespace quorix::log
