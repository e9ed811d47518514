// Open files on POSIX: open(2) with the access, sharing and missing-file rules
// of file.h, and the byte-level operations on the descriptor.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/file.h"
#include "platform/file_hook.h"

namespace quorix::platform {
namespace {

// Errors with which the system refuses writing but may still allow reading.
bool RefusesWriting(int error) {
  return error == EACCES || error == EPERM || error == EROFS || error == ETXTBSY ||
         error == EISDIR;
}

int OpenDescriptor(const std::string& path, int flags) {
  for (;;) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

int NonZeroErrno() { return errno != 0 ? errno : EIO; }

// Writes all of `data`; *written counts what went out before an error.
bool WriteAll(int fd, std::string_view data, size_t* written) {
  *written = 0;
  while (*written < data.size()) {
    ssize_t count = ::write(fd, data.data() + *written, data.size() - *written);
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (count == 0) {
      errno = EIO;
      return false;
    }
    *written += static_cast<size_t>(count);
  }
  return true;
}

}  // namespace

File::~File() { Close(); }

File::File(File&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

File File::Open(std::string_view name, Access access, Sharing sharing, Missing missing,
                int* error) {
  // A new file gets the name as given: only its directory is looked up.
  const std::string path =
      missing == Missing::kCreateNew ? ResolveDirectoryOf(name) : ResolveName(name);
  int flags = 0;
  switch (access) {
    case Access::kRead: flags = O_RDONLY; break;
    case Access::kReadWrite:
    case Access::kReadWriteOrRead: flags = O_RDWR; break;
    case Access::kAppend: flags = O_RDWR | O_APPEND; break;
  }
  if (missing == Missing::kCreate) flags |= O_CREAT;
  if (missing == Missing::kCreateNew) flags |= O_CREAT | O_EXCL;

  FileHook* hook = InstalledFileHook();
  bool creates = false;
  if (hook != nullptr && (flags & O_CREAT) != 0 && !path.empty()) {
    struct stat existing {};
    creates = ::lstat(path.c_str(), &existing) != 0;
    FileEvent event{FileOp::kCreate, path};
    if (const int refused = creates ? hook->Before(event, nullptr) : 0; refused != 0) {
      if (error != nullptr) *error = refused;
      return File();
    }
  }
  int fd = path.empty() ? -1 : OpenDescriptor(path, flags);
  int open_error = path.empty() ? ENOENT : errno;
  bool writable = (flags & O_RDWR) != 0;
  if (fd < 0 && access == Access::kReadWriteOrRead && RefusesWriting(open_error)) {
    fd = OpenDescriptor(path, (flags & ~O_RDWR) | O_RDONLY);
    if (fd < 0) open_error = errno;
    writable = false;
  }
  if (fd >= 0 && !writable) {
    // A directory is not a file: refuse it as the Windows open does (the
    // system itself refuses to open one for writing, with EISDIR).
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
      ::close(fd);
      fd = -1;
      open_error = EISDIR;
    }
  }
  if (fd >= 0 && sharing == Sharing::kExclusive) {
    int result;
    do {
      result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
      open_error = errno == EWOULDBLOCK ? EWOULDBLOCK : NonZeroErrno();
      ::close(fd);
      fd = -1;
    }
  }
  if (fd < 0) {
    if (error != nullptr) *error = open_error != 0 ? open_error : EIO;
    return File();
  }
  if (error != nullptr) *error = 0;
  if (hook != nullptr) {
    hook->After(FileEvent{creates ? FileOp::kCreate : FileOp::kOpen, path, {}, fd});
  }
  return File(fd);
}

int64_t File::Read(char* buffer, int64_t size) {
  if (fd_ < 0 || size < 0) return -1;
  for (;;) {
    ssize_t count = ::read(fd_, buffer, static_cast<size_t>(size));
    if (count >= 0) return count;
    if (errno != EINTR) return -1;
  }
}

bool File::Write(std::string_view data) {
  if (fd_ < 0) return false;
  size_t written = 0;
  FileHook* hook = InstalledFileHook();
  if (hook == nullptr) return WriteAll(fd_, data, &written);
  // Where the bytes go: the end for a file opened to append.
  const int64_t offset = (::fcntl(fd_, F_GETFL) & O_APPEND) != 0 ? Size() : Position();
  int64_t allowed = static_cast<int64_t>(data.size());
  const int refused = hook->Before(FileEvent{FileOp::kWrite, {}, {}, fd_, offset, data}, &allowed);
  const std::string_view part = data.substr(0, static_cast<size_t>(std::max<int64_t>(allowed, 0)));
  const bool whole = (refused == 0 || allowed > 0) && WriteAll(fd_, part, &written);
  const int saved = errno;
  if (written > 0) {
    hook->After(FileEvent{FileOp::kWrite, {}, {}, fd_, offset, data.substr(0, written)});
  }
  if (refused != 0) {
    errno = refused;
    return false;
  }
  errno = saved;
  return whole;
}

bool File::Seek(int64_t position) {
  if (fd_ < 0 || position < 0) return false;
  return ::lseek(fd_, static_cast<off_t>(position), SEEK_SET) >= 0;
}

int64_t File::Position() const {
  if (fd_ < 0) return -1;
  off_t position = ::lseek(fd_, 0, SEEK_CUR);
  return position < 0 ? -1 : static_cast<int64_t>(position);
}

int64_t File::Size() const {
  if (fd_ < 0) return -1;
  struct stat info {};
  if (::fstat(fd_, &info) != 0) return -1;
  return static_cast<int64_t>(info.st_size);
}

bool File::SetEnd() {
  const int64_t position = Position();
  if (position < 0) return false;
  FileHook* hook = InstalledFileHook();
  const FileEvent event{FileOp::kSetEnd, {}, {}, fd_, position};
  if (hook != nullptr) {
    if (const int refused = hook->Before(event, nullptr); refused != 0) {
      errno = refused;
      return false;
    }
  }
  int result;
  do {
    result = ::ftruncate(fd_, static_cast<off_t>(position));
  } while (result != 0 && errno == EINTR);
  if (result == 0 && hook != nullptr) hook->After(event);
  return result == 0;
}

bool File::Sync() {
  if (fd_ < 0) return false;
  if (FileHook* hook = InstalledFileHook()) {
    const FileEvent event{FileOp::kSync, {}, {}, fd_};
    if (const int refused = hook->Before(event, nullptr); refused != 0) {
      errno = refused;
      return false;
    }
    hook->After(event);
    return true;
  }
  return ::fsync(fd_) == 0;
}

void File::Close() {
  if (fd_ >= 0) {
    if (FileHook* hook = InstalledFileHook()) hook->After(FileEvent{FileOp::kClose, {}, {}, fd_});
    ::close(fd_);
    fd_ = -1;
  }
}

int LastError() { return errno; }

int DiskFullError() { return ENOSPC; }

int InputOutputError() { return EIO; }

}  // namespace quorix::platform
