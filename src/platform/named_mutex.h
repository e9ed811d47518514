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
  // While owned: true when other processes are excluded as well. False when
  // the system refused the cross-process part (a lock file that cannot be
  // opened or locked, a kernel mutex that could not be created); the threads
  // of this process are excluded either way, and the caller decides whether
  // it may go on without the rest.
  bool ExcludesOtherProcesses() const { return fd_ >= 0; }
  // Takes and releases the mutex once: whether it excludes other processes.
  bool CheckExcludesOtherProcesses();

 private:
  std::string name_;
  std::string lock_path_;
  std::mutex in_process_;
  int fd_ = -1;  // the descriptor holding the cross-process lock while owned
};

// Scoped ownership: std::lock_guard<NamedMutex> works as well.
using NamedLock = std::lock_guard<NamedMutex>;

}  // namespace quorix::platform
