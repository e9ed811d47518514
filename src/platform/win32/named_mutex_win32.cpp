// Named mutex on Windows: a kernel mutex created with CreateMutexA under the
// name, shared by every process of the session, plus an in-process mutex
// (a Windows mutex lets its owning thread in again, ours does not).
// An abandoned mutex (its owner died holding it) counts as acquired, so a
// killed instance never blocks the next run.
#include <algorithm>

#include "platform/named_mutex.h"
#include "platform/win32/windows_api.h"

namespace quorix::platform {

using win32::HandleOf;
using win32::IntOf;

// Kernel object names may not contain "\" (it separates a namespace).
NamedMutex::NamedMutex(std::string name) : name_(std::move(name)) {
  std::string kernel_name = name_;
  std::replace(kernel_name.begin(), kernel_name.end(), '\\', '_');
  HANDLE handle = ::CreateMutexA(nullptr, FALSE, kernel_name.c_str());
  fd_ = handle != nullptr ? IntOf(handle) : -1;
}

NamedMutex::~NamedMutex() {
  if (fd_ >= 0) ::CloseHandle(HandleOf(fd_));
}

// Without the kernel mutex the threads of this process are still excluded;
// ExcludesOtherProcesses tells the caller that the rest is missing.
void NamedMutex::lock() {
  in_process_.lock();
  if (fd_ >= 0) {
    const DWORD result = ::WaitForSingleObject(HandleOf(fd_), INFINITE);
    (void)result;  // WAIT_OBJECT_0 and WAIT_ABANDONED both give ownership
  }
}

bool NamedMutex::CheckExcludesOtherProcesses() {
  NamedLock lock(*this);
  return ExcludesOtherProcesses();
}

void NamedMutex::unlock() {
  if (fd_ >= 0) ::ReleaseMutex(HandleOf(fd_));
  in_process_.unlock();
}

}  // namespace quorix::platform
