// Test-only helpers of the log tests: a settable clock, a scratch directory
// and whole-file reads.
#pragma once

#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <string>

#include "platform/clock.h"

namespace quorix::log::testing {

class FakeClock : public platform::Clock {
 public:
  platform::LocalTime Now() const override {
    std::lock_guard<std::mutex> lock(lock_);
    return time_;
  }
  void Set(int year, int month, int day, int day_of_week, int hour, int minute, int second) {
    std::lock_guard<std::mutex> lock(lock_);
    time_ = {year, month, day_of_week, day, hour, minute, second,
             hour * 3600.0 + minute * 60.0 + second};
  }

 private:
  mutable std::mutex lock_;
  platform::LocalTime time_;
};

class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::random_device random;
    auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      auto candidate = base / ("quorix_log_test_" + std::to_string(random()));
      if (std::filesystem::create_directory(candidate)) {
        path_ = candidate.string();
        break;
      }
    }
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace quorix::log::testing
