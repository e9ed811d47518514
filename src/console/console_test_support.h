// Test vocabulary of the console tests: a Run over a chosen console, a log
// file to read back, a sleeper that can act between display cycles (its
// hook), and
// readers of the cell grid by row and column (counted from 1).
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "log/logger.h"
#include "platform/console.h"
#include "run/run.h"
#include "run/testing.h"

namespace quorix::console::testing {

// A Run with the given console, the program directory in a scratch directory
// and the main log there (debug mode on, so detail lines are written too).
struct ConsoleRun {
  explicit ConsoleRun(platform::Console& console) : run(clock, sleeper, console) {
    run.env.program_dir = dir.Prefix();
    run.log.set_debug_mode(true);
    run.log.SetMainLog(log::Logger::OpenLogFile(dir.PathOf("QUORIX.LOG")), "");
  }
  // Everything logged so far.
  std::string LogText() const { return dir.Read("QUORIX.LOG"); }
  // Whether a line of the status display thread holds exactly `message` at `level`.
  bool Logged(const std::string& message, int level, int thread = 0) const {
    const std::string tail = log::Logger::ThreadTag(thread) + ": " + message + "\r\n";
    const std::string mark(log::Logger::LevelMark(level));
    const std::string text = LogText();
    size_t at = text.find(tail);
    while (at != std::string::npos) {
      const size_t line_start = text.rfind('\n', at);
      const size_t begin = line_start == std::string::npos ? 0 : line_start + 1;
      if (text.compare(begin, mark.size(), mark) == 0) return true;
      at = text.find(tail, at + 1);
    }
    return false;
  }
  // Sets the clock to a time of day.
  void SetTime(int hour, int minute, int second) {
    platform::LocalTime time;
    time.year = 2004;
    time.month = 3;
    time.day = 5;
    time.day_of_week = 5;
    time.hour = hour;
    time.minute = minute;
    time.second = second;
    time.seconds_since_midnight = hour * 3600.0 + minute * 60.0 + second;
    clock.Set(time);
  }

  quorix::testing::ScratchDir dir;
  quorix::testing::FakeClock clock;
  quorix::testing::FakeSleeper sleeper;
  run::Run run;
};

// Characters of `count` cells of a grid of `columns` columns from (row, column).
inline std::string GridText(const std::vector<platform::Cell>& cells, int columns, int row,
                            int column, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    const size_t at = static_cast<size_t>((row - 1) * columns + (column - 1) + i);
    text.push_back(at < cells.size() ? static_cast<char>(cells[at].character) : '\0');
  }
  return text;
}

inline std::string CellText(const platform::HeadlessConsole& console, int row, int column,
                            int count) {
  return GridText(console.cells(), console.Columns(), row, column, count);
}

inline std::string RowText(const platform::HeadlessConsole& console, int row) {
  return CellText(console, row, 1, console.Columns());
}

inline uint16_t AttributeAt(const platform::HeadlessConsole& console, int row, int column) {
  return console.cells()[static_cast<size_t>((row - 1) * console.Columns() + (column - 1))]
      .attribute;
}

}  // namespace quorix::console::testing
