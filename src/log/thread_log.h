// One thread's lines in the log: the logger and the thread's tag (a worker's
// is its slot number). What a function that only writes log lines is handed,
// rather than the whole run and a slot number it would index.
#pragma once

#include <string_view>

#include "log/logger.h"

namespace quorix::log {

struct ThreadLog {
  Logger& logger;
  int thread;

  void Write(std::string_view message, int level) const { logger.WriteLog(message, thread, level); }
};

}  // namespace quorix::log
