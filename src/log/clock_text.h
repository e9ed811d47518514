// The clock texts of the log and the status screen.
#pragma once

#include <string>
#include <string_view>

#include "platform/clock.h"

namespace quorix::log {

// "14:03:59": hours, minutes, seconds of `time`, two digits each, 24-hour clock.
std::string LogTime(const platform::LocalTime& time);

// The date of a log header. `omralog` is the value of the environment variable
// OMRALOG: "XP" (any letter case) gives "05.03.2004", anything else "Fri 05 Mar 04".
std::string HeaderDate(const platform::LocalTime& time, std::string_view omralog);

// Elapsed time from `start` to `now` (seconds since midnight; a start later
// than now counts as yesterday), rounded up to whole seconds, as "hh:mm:ss".
std::string FormatElapsed(double start, double now);

}  // namespace quorix::log
