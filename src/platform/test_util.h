// Helpers for the platform tests: a scratch directory, small file helpers and
// polling with a deadline (no fixed sleeps).
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <thread>

namespace quorix::platform::testing {

class ScratchDirectory {
 public:
  // A new directory under a random name in the system's temporary directory.
  ScratchDirectory() {
    std::error_code ignored;
    const std::string base = std::filesystem::temp_directory_path(ignored).string();
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const std::string candidate = base + "/quorix_test_" + std::to_string(random());
      if (std::filesystem::create_directory(candidate, ignored)) path_ = candidate;
    }
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void WriteTestFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string ReadTestFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

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
