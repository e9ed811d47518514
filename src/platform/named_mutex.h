// A lock shared by the threads of this process and by other processes that use
// the same name. No time-out; released when the owning process dies.
#pragma once

#include <mutex>
#include <string>

namespace quorix::platform {

class NamedMutex {
 public:
  explicit NamedMutex(std::string name);
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;
  ~NamedMutex();

  void lock();    // waits without time-out
  void unlock();
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  std::string lock_path_;
  std::mutex in_process_;
  int fd_ = -1;  // the descriptor holding the cross-process lock while owned
};

// Scoped ownership: std::lock_guard<NamedMutex> works as well.
using NamedLock = std::lock_guard<NamedMutex>;

}  // namespace quorix::platform
