// A text that one thread writes and another reads, always as a whole value.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace quorix::run {

class SharedText {
 public:
  void Set(std::string_view value) {
    std::lock_guard<std::mutex> lock(lock_);
    value_.assign(value);
  }
  std::string Get() const {
    std::lock_guard<std::mutex> lock(lock_);
    return value_;
  }

 private:
  mutable std::mutex lock_;
  std::string value_;
};

}  // namespace quorix::run
