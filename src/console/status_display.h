// The status display thread: lays the status screen out once, then redraws
// every value every 5 ms and reacts to the keyboard (Esc asks the workers to
// stop, Alt+X cuts every forum connection, a digit cuts one slot's), until
// main sets StopDisplay. It only reads the workers' state.
#pragma once

#include <string>
#include <string_view>

#include "console/screen.h"
#include "run/run.h"

namespace quorix::console {

// The thread body (slot 0). Main pushes the screen before it starts and, after
// setting stop_display and joining the thread, pops it. StopDisplay is not
// reset here: main clears it before the start, so a stop that comes before
// the first cycle is never lost. No exception leaves this function.
void StatusDisplay(run::Run& run, Screen& screen);

// The transfer text of the "Threads" line and of main's closing log line:
// TotalBytes and the bytes per second since DisplayStart, right-aligned to
// 44 characters; 44 blanks while fewer than 5001 bytes were moved; empty
// within the first 3 seconds.
std::string TransferSummary(const run::Run& run);

// Acts on one key read from the console: Esc, Alt+X, or a digit naming a slot.
void HandleStatusKey(run::Run& run, int key);

// The clock base: the start time a dial-up program left in ProgramDir +
// "Wdial.Dat" (seconds since midnight at the start of its first 9 bytes), or
// `now` when there is none or it cannot be read.
double ReadClockBase(run::Run& run, double now);

// The number at the start of `text` (decimal, fractions allowed); false when
// there is none.
bool ParseSecondsValue(std::string_view text, double* value);

}  // namespace quorix::console
