// Test support for every module above the run state: a fixed clock, a sleeper
// that records instead of sleeping, a scratch directory, and a Run built from
// them. Used only by unit tests.
#pragma once

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/console.h"
#include "run/run.h"

namespace quorix::testing {

class FakeClock : public platform::Clock {
 public:
  platform::LocalTime Now() const override {
    std::lock_guard<std::mutex> lock(lock_);
    return now_;
  }
  void Set(const platform::LocalTime& now) {
    std::lock_guard<std::mutex> lock(lock_);
    now_ = now;
  }

 private:
  mutable std::mutex lock_;
  platform::LocalTime now_{2004, 3, 5, 5, 14, 3, 59, 14 * 3600 + 3 * 60 + 59};
};

// Records every wait and returns at once.
class RecordingSleeper : public platform::Sleeper {
 public:
  void SleepMs(int milliseconds) override {
    std::lock_guard<std::mutex> lock(lock_);
    sleeps_.push_back(milliseconds);
  }
  std::vector<int> sleeps() const {
    std::lock_guard<std::mutex> lock(lock_);
    return sleeps_;
  }

 private:
  mutable std::mutex lock_;
  std::vector<int> sleeps_;
};

// Records every wait and yields instead of sleeping, so that polling loops of
// other threads advance.
class YieldingSleeper : public platform::Sleeper {
 public:
  void SleepMs(int milliseconds) override {
    {
      std::lock_guard<std::mutex> lock(lock_);
      sleeps_.push_back(milliseconds);
    }
    std::this_thread::yield();
  }
  int Count(int milliseconds) const {
    std::lock_guard<std::mutex> lock(lock_);
    return static_cast<int>(std::count(sleeps_.begin(), sleeps_.end(), milliseconds));
  }

 private:
  mutable std::mutex lock_;
  std::vector<int> sleeps_;
};

// A fresh directory under the system's temporary directory, removed at the end.
class ScratchDir {
 public:
  ScratchDir() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("quorix-test-" + std::to_string(random()) + "-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // The directory with a trailing "/", ready to be a prefix.
  std::string Prefix() const { return path_.string() + "/"; }
  std::string PathOf(const std::string& name) const { return (path_ / name).string(); }
  void Write(const std::string& name, const std::string& content) const {
    std::filesystem::create_directories((path_ / name).parent_path());
    std::ofstream out(path_ / name, std::ios::binary);
    out << content;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(path_ / name); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A Run over fake clock, recording sleeper and a headless console.
struct TestRun {
  FakeClock clock;
  RecordingSleeper sleeper;
  platform::HeadlessConsole console{25, 80, /*echo_lines=*/false};
  run::Run run{clock, sleeper, console};
};

}  // namespace quorix::testing
