// The log writer. Every line goes, whole and with one write per file, to the
// main log and then to the client log, each only when it is open.
#include "log/logger.h"

#include <exception>
#include <utility>

#include "log/clock_text.h"
#include "text/settings.h"

namespace quorix::log {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kClientLogName = "XPCLIENT.LOG";

}  // namespace

Logger::Logger(const platform::Clock& clock, std::string program_tag, std::string version_text)
    : clock_(clock),
      program_tag_(std::move(program_tag)),
      version_text_(std::move(version_text)) {}

std::string_view Logger::LevelMark(int level) {
  switch (level) {
    case 0:
      return "  ";
    case 1:
      return "! ";
    case 2:
      return "? ";
    case 3:
      return "$ ";
    case 4:
      return "* ";
    case 5:
      return ": ";
    case 6:
      return "+ ";
    case 7:
      return "- ";
    case 8:
      return "% ";
    case 9:
      return "~ ";
    case 10:
      return "= ";
    case 255:
      return "  ";
    default:
      return "";  // an unknown level has no mark
  }
}

bool Logger::WrittenWithoutDebug(int level) {
  // Levels 0..10 are always written except the detail level 4; 255 and every
  // unknown level only in debug mode.
  return level >= 0 && level <= 10 && level != 4;
}

std::string Logger::ThreadTag(int thread) {
  // The status display (slot 0) is tagged "#0", like every other slot with
  // its number; only main (below 0) goes without a number.
  if (thread < 0) return "  ";
  return "#" + std::to_string(thread);
}

void Logger::WriteLog(std::string_view message, int thread, int level) {
  try {
    const std::string line = BuildLine(message, thread, level);
    if (!line.empty()) WriteBuiltLines(line, thread);
  } catch (const std::exception&) {
    // A line that cannot be built (memory exhausted) is lost; the caller goes on.
  }
}

std::string Logger::BuildLine(std::string_view message, int thread, int level) const {
  try {
    if (!WrittenWithoutDebug(level) && !debug_mode()) return {};
    std::string_view mark = LevelMark(level);
    std::string tag = ThreadTag(thread);
    std::string time = LogTime(clock_.Now());

    std::string line;
    line.reserve(mark.size() + time.size() + 2 + program_tag_.size() + tag.size() + 2 +
                 message.size() + kLineEnd.size());
    line.append(mark).append(time).append("  ").append(program_tag_).append(tag).append(": ");
    line.append(message).append(kLineEnd);
    return line;
  } catch (const std::exception&) {
    return {};  // a line that cannot be built is lost
  }
}

void Logger::WriteBuiltLines(std::string_view lines, int thread) {
  if (lines.empty()) return;
  try {
    std::lock_guard<std::mutex> lock(files_lock_);
    if (thread >= 0 && thread < kHeldThreads && holding_[thread]) {
      held_[thread].append(lines);
      return;
    }
    if (main_log_.IsOpen()) main_log_.Write(lines);  // write errors are not reported
    if (client_log_.IsOpen()) client_log_.Write(lines);
  } catch (const std::exception&) {
    // Lines that cannot be kept (memory exhausted) are lost; the caller goes on.
  }
}

void Logger::HoldLines(int thread) {
  if (thread < 0 || thread >= kHeldThreads) return;
  std::lock_guard<std::mutex> lock(files_lock_);
  holding_[thread] = true;
}

void Logger::ReleaseLines(int thread) {
  if (thread < 0 || thread >= kHeldThreads) return;
  std::lock_guard<std::mutex> lock(files_lock_);
  holding_[thread] = false;
  std::string& lines = held_[thread];
  if (lines.empty()) return;
  if (main_log_.IsOpen()) main_log_.Write(lines);
  if (client_log_.IsOpen()) client_log_.Write(lines);
  lines.clear();  // keeps its room for the next page
}

platform::File Logger::OpenLogFile(std::string_view name) {
  return platform::File::Open(name, platform::Access::kAppend, platform::Sharing::kExclusive,
                              platform::Missing::kCreate);
}

std::string Logger::LogHeaderLine(std::string_view omralog) const {
  platform::LocalTime now = clock_.Now();
  std::string header = "----------  ";
  header += HeaderDate(now, omralog);
  header += ", Korvendale/News ";
  header += version_text_;
  if (debug_mode()) {
    header += "\r\n  ";
    header += LogTime(now);
    header += "  ";
    header += program_tag_;
    header += "  : Debug-Mode activated";
  }
  return header;
}

void Logger::InstallLog(platform::File& slot, platform::File file, std::string_view omralog) {
  if (file.IsOpen()) {
    std::string header = LogHeaderLine(omralog);
    header.append(kLineEnd);
    file.Write(header);
  }
  slot = std::move(file);
}

void Logger::SetMainLog(platform::File file, std::string_view omralog) {
  std::lock_guard<std::mutex> lock(files_lock_);
  InstallLog(main_log_, std::move(file), omralog);
}

void Logger::SetClientLog(platform::File file, std::string_view omralog) {
  std::lock_guard<std::mutex> lock(files_lock_);
  InstallLog(client_log_, std::move(file), omralog);
}

bool Logger::MainLogOpen() const {
  std::lock_guard<std::mutex> lock(files_lock_);
  return main_log_.IsOpen();
}

bool Logger::ClientLogOpen() const {
  std::lock_guard<std::mutex> lock(files_lock_);
  return client_log_.IsOpen();
}

void Logger::OpenClientLog(std::string_view config_text, std::string_view omralog) {
  // The test and the open happen under one lock, so two boxes read at the
  // same time cannot both open a client log.
  std::lock_guard<std::mutex> lock(files_lock_);
  if (client_log_.IsOpen()) return;
  std::string name = text::GetSetting(config_text, "Client-Path=", "");
  name.append(kClientLogName);
  InstallLog(client_log_, OpenLogFile(name), omralog);
}

void Logger::CloseLogs() {
  std::lock_guard<std::mutex> lock(files_lock_);
  main_log_.Close();
  client_log_.Close();
}

}  // namespace quorix::log
