// Test-only: an installation of the bases' tests, a scratch program
// directory with a test run (run/testing.h) in it, its clock at kTime and its
// main log written to the directory.
#pragma once

#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/file.h"
#include "platform/test_util.h"
#include "run/run.h"
#include "run/testing.h"

namespace quorix::bases::testing {

class TestInstallation {
 public:
  TestInstallation() : run_(std::make_unique<quorix::testing::TestRun>()) {
    run_->clock.Set(kTime);
    run_->run.env.program_dir = dir_.Prefix();
    run_->run.log.SetMainLog(
        platform::File::Open(Path("QUORIX.LOG"), platform::Access::kAppend,
                             platform::Sharing::kShared, platform::Missing::kCreate),
        "");
  }
  ~TestInstallation() { run_.reset(); }  // the log closed before the directory goes
  TestInstallation(const TestInstallation&) = delete;
  TestInstallation& operator=(const TestInstallation&) = delete;

  // 5 October 2004, 12:00 on the run's clock.
  static constexpr platform::LocalTime kTime{2004, 10, 4, 5, 12, 0, 0, 0};

  run::Run& run() { return run_->run; }
  const std::string& dir() const { return dir_.path(); }
  std::string Path(const std::string& name) const { return dir_.PathOf(name); }

  std::string Read(const std::string& name) const { return dir_.Read(name); }
  void Write(const std::string& name, const std::string& bytes) const { dir_.Write(name, bytes); }
  bool Exists(const std::string& name) const { return dir_.Exists(name); }

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
  platform::testing::ScratchDir dir_;
  std::unique_ptr<quorix::testing::TestRun> run_;
};

}  // namespace quorix::bases::testing
