// The log writer: QUORIX.LOG and CrossPoint's client log, one line per call.
//
// Line: mark (2) + hh:mm:ss + two blanks + program tag + thread tag (2) + ": "
// + message + CR LF, written with one write per file, so lines of different
// threads interleave only as whole lines.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/file.h"

namespace quorix::log {

// Log levels.
constexpr int kProgress = 0;  // "  "
constexpr int kError = 1;     // "! "
constexpr int kProblem = 2;   // "? "
constexpr int kDetail = 4;    // "* ", debug mode only
constexpr int kDebug = 255;   // "  ", debug mode only

constexpr int kMainThread = -1;

class Logger {
 public:
  Logger(const platform::Clock& clock, std::string program_tag, std::string version_text);

  // Writes `message` for `thread` (-1 main, else the slot) at `level`. Safe
  // from any thread; never throws (a line that cannot be built is lost).
  void WriteLog(std::string_view message, int thread, int level);

  // The line WriteLog would write now (with this moment's time), or "" when
  // the level is not written; nothing is written. For work done on another
  // thread whose lines must come out later, in an order of the caller's.
  std::string BuildLine(std::string_view message, int thread, int level) const;
  // Writes lines built before (BuildLine, one or more) for `thread`, as
  // WriteLog writes one: held while the thread holds its lines.
  void WriteBuiltLines(std::string_view lines, int thread);

  // While `thread` (a slot, 0..kHeldThreads-1) holds its lines, its lines are
  // built as always but kept, and written together when it releases them:
  // one write per log file for a whole page of article lines instead of two
  // per line. The lines, their times and their order stay as they are; only
  // a process killed in between loses the held ones. See LogHold.
  void HoldLines(int thread);
  void ReleaseLines(int thread);
  static constexpr int kHeldThreads = 16;

  // Opens `name` for appending (created when missing, held exclusively).
  // Returns a closed File when it cannot be opened; no message.
  static platform::File OpenLogFile(std::string_view name);

  // "----------  " + date + ", Korvendale/News " + version [+ CR LF + debug line].
  // `omralog` selects the date style.
  std::string LogHeaderLine(std::string_view omralog) const;

  // Installs the opened logs; a closed File leaves that log off. Each writes
  // its header line when it is open. Called by start-up only.
  void SetMainLog(platform::File file, std::string_view omralog);
  void SetClientLog(platform::File file, std::string_view omralog);
  bool MainLogOpen() const;
  bool ClientLogOpen() const;

  // When no client log is open yet: opens "Client-Path=" of `config_text` +
  // "XPCLIENT.LOG" and writes its header. Later boxes reuse the open log.
  void OpenClientLog(std::string_view config_text, std::string_view omralog);

  void CloseLogs();

  // Debug mode writes every level. Set once at start; read by every thread.
  void set_debug_mode(bool on) { debug_mode_.store(on, std::memory_order_relaxed); }
  bool debug_mode() const { return debug_mode_.load(std::memory_order_relaxed); }
  const std::string& program_tag() const { return program_tag_; }
  const std::string& version_text() const { return version_text_; }

  // The mark of `level` and whether it is written outside debug mode.
  static std::string_view LevelMark(int level);
  static bool WrittenWithoutDebug(int level);
  // "  " for a thread below 0, else "#" + the number in decimal: "#0" for the
  // status display, "#1".."#10" for the workers.
  static std::string ThreadTag(int thread);

 private:
  // Writes the header into `file` when it is open, then installs it in
  // `slot` (closing what was there). Called with files_lock_ held.
  void InstallLog(platform::File& slot, platform::File file, std::string_view omralog);

  const platform::Clock& clock_;
  std::string program_tag_;
  std::string version_text_;
  std::atomic<bool> debug_mode_{false};
  // Guards the two File objects; each line's writes to both files happen
  // under it, so both logs hold whole lines in the same order.
  mutable std::mutex files_lock_;
  platform::File main_log_;
  platform::File client_log_;
  // Under files_lock_: the lines each thread holds, and whether it holds.
  std::string held_[kHeldThreads];
  bool holding_[kHeldThreads] = {};
};

// Holds a thread's log lines for as long as it lives (Logger::HoldLines).
class LogHold {
 public:
  LogHold(Logger& logger, int thread) : logger_(logger), thread_(thread) {
    logger_.HoldLines(thread_);
  }
  ~LogHold() { logger_.ReleaseLines(thread_); }
  LogHold(const LogHold&) = delete;
  LogHold& operator=(const LogHold&) = delete;

 private:
  Logger& logger_;
  int thread_;
};

}  // namespace quorix::log
