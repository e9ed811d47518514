// Test-only: a Run of its own in a scratch program directory, with a fake
// clock, a sleeper that does not sleep, a headless console and the main log
// written to the scratch directory.
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/file.h"
#include "run/run.h"

namespace quorix::bases::testing {

class FixedClock : public platform::Clock {
 public:
  platform::LocalTime Now() const override {
    platform::LocalTime time;
    time.year = 2004;
    time.month = 10;
    time.day = 5;
    time.hour = 12;
    return time;
  }
};

class NoSleeper : public platform::Sleeper {
 public:
  void SleepMs(int) override {}
};

class TestRun {
 public:
  TestRun() : console_(25, 80, false) {
    std::random_device random;
    auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
      auto candidate = base / ("quorix_bases_test_" + std::to_string(random()));
      if (std::filesystem::create_directory(candidate)) dir_ = candidate.string();
    }
    run_ = std::make_unique<run::Run>(clock_, sleeper_, console_);
    run_->env.program_dir = dir_ + "/";
    run_->log.SetMainLog(
        platform::File::Open(Path("QUORIX.LOG"), platform::Access::kAppend,
                             platform::Sharing::kShared, platform::Missing::kCreate),
        "");
  }
  ~TestRun() {
    run_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  TestRun(const TestRun&) = delete;
  TestRun& operator=(const TestRun&) = delete;

  run::Run& run() { return *run_; }
  const std::string& dir() const { return dir_; }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::string Read(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(Path(name), std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(Path(name)); }

  // The messages of the main log, one per line, without mark, time and tags.
  std::string LogMessages() const {
    std::string log = Read("QUORIX.LOG");
    std::string messages;
    size_t line_start = log.find("\r\n");  // skips the header line
    while (line_start != std::string::npos) {
      line_start += 2;
      size_t line_end = log.find("\r\n", line_start);
      if (line_end == std::string::npos) break;
      std::string line = log.substr(line_start, line_end - line_start);
      size_t colon = line.find(": ");
      messages += (colon == std::string::npos ? line : line.substr(colon + 2)) + "\n";
      line_start = line_end;
    }
    return messages;
  }

 private:
  FixedClock clock_;
  NoSleeper sleeper_;
  platform::HeadlessConsole console_;
  std::string dir_;
  std::unique_ptr<run::Run> run_;
};

}  // namespace quorix::bases::testing
