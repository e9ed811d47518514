// Named mutex on POSIX: an in-process mutex for the threads of this process,
// plus flock on a lock file in the temporary directory for other processes.
// The lock file is opened anew for every acquisition, because flock does not
// exclude two threads that share one descriptor; closing it releases the
// lock, and so does the death of the process.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/named_mutex.h"
#include "platform/process.h"

namespace quorix::platform {
namespace {

int OpenLockFile(const std::string& path) {
  for (;;) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno == EINTR) continue;
    // A lock file left by another user may be readable only; flock works on it.
    if (errno == EACCES) {
      fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd >= 0 || errno != EINTR) return fd;
      continue;
    }
    return -1;
  }
}

}  // namespace

NamedMutex::NamedMutex(std::string name) : name_(std::move(name)) {
  std::string file_name = name_;
  std::replace(file_name.begin(), file_name.end(), '/', '_');
  std::replace(file_name.begin(), file_name.end(), '\\', '_');
  lock_path_ = TempDirectory() + "/" + file_name + ".lock";
}

NamedMutex::~NamedMutex() {
  if (fd_ >= 0) ::close(fd_);
}

void NamedMutex::lock() {
  in_process_.lock();
  // Without a lock file the threads of this process are still excluded;
  // ExcludesOtherProcesses tells the caller that the rest is missing.
  int fd = OpenLockFile(lock_path_);
  if (fd >= 0) {
    int result;
    do {
      result = ::flock(fd, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
      ::close(fd);
      fd = -1;
    }
  }
  fd_ = fd;
}

bool NamedMutex::CheckExcludesOtherProcesses() {
  NamedLock lock(*this);
  return ExcludesOtherProcesses();
}

void NamedMutex::unlock() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  in_process_.unlock();
}

}  // namespace quorix::platform
