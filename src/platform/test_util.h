// The test helpers of every module, each need served once: a scratch
// directory, the whole-file reader and writer, a fake clock, a sleeper that
// does not sleep, and polling with a deadline (no fixed sleeps).
#pragma once

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/clock.h"

namespace quorix::platform::testing {

// A new directory under a random name in the system's temporary directory,
// removed with everything in it at the end (even where a test took away its
// write permission).
class ScratchDir {
 public:
  ScratchDir() {
    std::error_code ignored;
    const std::string base = std::filesystem::temp_directory_path(ignored).string();
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const std::string candidate = base + "/quorix_test_" + std::to_string(random());
      if (std::filesystem::create_directory(candidate, ignored)) path_ = candidate;
    }
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  std::string PathOf(const std::string& name) const { return *this / name; }
  // The directory with a trailing "/", ready to be a prefix.
  std::string Prefix() const { return path_ + "/"; }

  void Write(const std::string& name, const std::string& bytes) const;
  std::string Read(const std::string& name) const;
  bool Exists(const std::string& name) const { return std::filesystem::exists(PathOf(name)); }

 private:
  std::string path_;
};

inline void WriteTestFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// The whole file; empty when it cannot be read.
inline std::string ReadTestFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Writes `bytes` as the file `name` in the directory, making the directories
// on its way.
inline void ScratchDir::Write(const std::string& name, const std::string& bytes) const {
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(PathOf(name)).parent_path(), ignored);
  WriteTestFile(PathOf(name), bytes);
}
inline std::string ScratchDir::Read(const std::string& name) const {
  return ReadTestFile(PathOf(name));
}

// A clock that says what the test set: 5 March 2004 (a Friday), 14:03:59 until
// then.
class FakeClock : public Clock {
 public:
  LocalTime Now() const override {
    std::lock_guard<std::mutex> lock(lock_);
    return now_;
  }
  void Set(const LocalTime& now) {
    std::lock_guard<std::mutex> lock(lock_);
    now_ = now;
  }
  void Set(int year, int month, int day, int day_of_week, int hour, int minute, int second) {
    Set({year, month, day_of_week, day, hour, minute, second,
         hour * 3600.0 + minute * 60.0 + second});
  }

 private:
  mutable std::mutex lock_;
  LocalTime now_{2004, 3, 5, 5, 14, 3, 59, 14 * 3600 + 3 * 60 + 59};
};

// A sleeper that returns at once: it records every wait and then calls the
// hook, if one is set, with the wait's number (1, 2, ...) and its length (a
// hook may yield, so that other threads' polling advances, or throw).
class FakeSleeper : public Sleeper {
 public:
  using Hook = std::function<void(int count, int milliseconds)>;

  void SleepMs(int milliseconds) override {
    Hook hook;
    int count = 0;
    {
      std::lock_guard<std::mutex> lock(lock_);
      sleeps_.push_back(milliseconds);
      count = static_cast<int>(sleeps_.size());
      hook = on_sleep_;
    }
    if (hook) hook(count, milliseconds);
  }
  void set_on_sleep(Hook hook) {
    std::lock_guard<std::mutex> lock(lock_);
    on_sleep_ = std::move(hook);
  }
  std::vector<int> sleeps() const {
    std::lock_guard<std::mutex> lock(lock_);
    return sleeps_;
  }
  int Count(int milliseconds) const {
    std::lock_guard<std::mutex> lock(lock_);
    return static_cast<int>(std::count(sleeps_.begin(), sleeps_.end(), milliseconds));
  }

 private:
  mutable std::mutex lock_;
  Hook on_sleep_;
  std::vector<int> sleeps_;
};

// Polls `condition` until it holds or `timeout` passes; returns its last value.
inline bool WaitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));  // polling interval, not a wait
  }
  return true;
}

// Restores the current directory when a test that changes it ends.
class CurrentDirectoryGuard {
 public:
  CurrentDirectoryGuard() : saved_(std::filesystem::current_path()) {}
  ~CurrentDirectoryGuard() {
    std::error_code ignored;
    std::filesystem::current_path(saved_, ignored);
  }

 private:
  std::filesystem::path saved_;
};

}  // namespace quorix::platform::testing
