// A lock shared by the threads of this process and by other processes that use
// the same name. No time-out; released when the owning process dies.
#pragma once

#include <mutex>
#include <string>

#include "platform/thread_annotations.h"

namespace quorix::platform {

class CAPABILITY("mutex") NamedMutex {
 public:
  explicit NamedMutex(std::string name);
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;
  ~NamedMutex();

  void lock() ACQUIRE();  // waits without time-out
  void unlock() RELEASE();
  const std::string& name() const { return name_; }
  // While owned: true when other processes are excluded as well. False when
  // the system refused the cross-process part (a lock file that cannot be
  // opened or locked, a kernel mutex that could not be created); the threads
  // of this process are excluded either way, and the caller decides whether
  // it may go on without the rest.
  bool ExcludesOtherProcesses() const { return fd_ >= 0; }
  // Takes and releases the mutex once: whether it excludes other processes.
  bool CheckExcludesOtherProcesses() EXCLUDES(this);

 private:
  std::string name_;
  std::string lock_path_;
  std::mutex in_process_;
  int fd_ = -1;  // the descriptor holding the cross-process lock while owned
};

// Scoped ownership, known to the thread-safety analysis (std::lock_guard is
// not annotated, so the analysis would not see the lock held through it).
class SCOPED_CAPABILITY NamedLock {
 public:
  explicit NamedLock(NamedMutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~NamedLock() RELEASE() { mutex_.unlock(); }
  NamedLock(const NamedLock&) = delete;
  NamedLock& operator=(const NamedLock&) = delete;

 private:
  NamedMutex& mutex_;
};

}  // namespace quorix::platform
