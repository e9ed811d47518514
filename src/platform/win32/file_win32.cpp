// Open files on Windows: CreateFileA with the access and sharing modes of
// file.h, and the byte-level operations on the handle.
//
// Sharing: a file opened for writing lets others read it, not write it; a
// file opened for reading alone lets others read and write (the fall-back
// of kReadWriteOrRead must succeed while another program writes the file).
// An exclusive open (the logs) lets nobody else write and no second
// exclusive opener in, but a reader may look at the file, as a log viewer
// does; this is what the exclusive lock gives on POSIX as well. Every shared
// open also allows deleting and renaming, so that a crash-safe rewrite can
// replace a file that a reader still holds.
#include <algorithm>
#include <string>

#include "platform/file.h"
#include "platform/file_hook.h"
#include "platform/win32/windows_api.h"

namespace quorix::platform {
namespace {

using win32::HandleOf;
using win32::IntOf;

// Errors with which the system refuses writing but may still allow reading.
bool RefusesWriting(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
         error == ERROR_WRITE_PROTECT || error == ERROR_LOCK_VIOLATION;
}

DWORD ShareModeFor(bool writing, Sharing sharing) {
  if (sharing == Sharing::kExclusive) return FILE_SHARE_READ;
  return FILE_SHARE_READ | FILE_SHARE_DELETE | (writing ? 0 : FILE_SHARE_WRITE);
}

DWORD CreationFor(Missing missing) {
  switch (missing) {
    case Missing::kFail:
      return OPEN_EXISTING;
    case Missing::kCreate:
      return OPEN_ALWAYS;
    case Missing::kCreateNew:
      return CREATE_NEW;
  }
  return OPEN_EXISTING;
}

HANDLE OpenHandle(const std::string& path, bool writing, Sharing sharing, Missing missing) {
  const DWORD access = GENERIC_READ | (writing ? GENERIC_WRITE : 0);
  return ::CreateFileA(path.c_str(), access, ShareModeFor(writing, sharing), nullptr,
                       CreationFor(missing), FILE_ATTRIBUTE_NORMAL, nullptr);
}

int NonZero(DWORD error) { return error != 0 ? static_cast<int>(error) : ERROR_GEN_FAILURE; }

// Writes all of `data`; *written counts what went out before an error.
bool WriteAll(HANDLE handle, std::string_view data, size_t* written) {
  *written = 0;
  while (*written < data.size()) {
    const size_t left = data.size() - *written;
    const DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
    DWORD count = 0;
    if (!::WriteFile(handle, data.data() + *written, chunk, &count, nullptr)) return false;
    if (count == 0) {
      ::SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    *written += count;
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
  const std::string path = ResolveName(name);
  const bool writing = access != Access::kRead;
  FileHook* hook = InstalledFileHook();
  bool creates = false;
  if (hook != nullptr && missing != Missing::kFail && !path.empty()) {
    creates = ::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
    FileEvent event{FileOp::kCreate, path};
    if (const int refused = creates ? hook->Before(event, nullptr) : 0; refused != 0) {
      if (error != nullptr) *error = refused;
      return File();
    }
  }
  HANDLE handle = path.empty() ? INVALID_HANDLE_VALUE : OpenHandle(path, writing, sharing, missing);
  DWORD open_error = path.empty() ? ERROR_FILE_NOT_FOUND : ::GetLastError();
  if (handle == INVALID_HANDLE_VALUE && access == Access::kReadWriteOrRead &&
      RefusesWriting(open_error)) {
    handle = OpenHandle(path, false, sharing, missing);
    if (handle == INVALID_HANDLE_VALUE) open_error = ::GetLastError();
  }
  if (handle == INVALID_HANDLE_VALUE) {
    if (error != nullptr) *error = NonZero(open_error);
    return File();
  }
  if (access == Access::kAppend) {
    // Appending opens are exclusive (the logs): nobody else moves the end.
    LARGE_INTEGER zero{};
    ::SetFilePointerEx(handle, zero, nullptr, FILE_END);
  }
  if (error != nullptr) *error = 0;
  if (hook != nullptr) {
    hook->After(FileEvent{creates ? FileOp::kCreate : FileOp::kOpen, path, {}, IntOf(handle)});
  }
  return File(IntOf(handle));
}

int64_t File::Read(char* buffer, int64_t size) {
  if (fd_ < 0 || size < 0) return -1;
  const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  DWORD count = 0;
  if (!::ReadFile(HandleOf(fd_), buffer, want, &count, nullptr)) {
    return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  }
  return count;
}

bool File::Write(std::string_view data) {
  if (fd_ < 0) return false;
  size_t written = 0;
  FileHook* hook = InstalledFileHook();
  if (hook == nullptr) return WriteAll(HandleOf(fd_), data, &written);
  const int64_t offset = Position();  // appending opens are exclusive: the end stays put
  int64_t allowed = static_cast<int64_t>(data.size());
  const int refused = hook->Before(FileEvent{FileOp::kWrite, {}, {}, fd_, offset, data}, &allowed);
  const std::string_view part = data.substr(0, static_cast<size_t>(std::max<int64_t>(allowed, 0)));
  const bool whole = (refused == 0 || allowed > 0) && WriteAll(HandleOf(fd_), part, &written);
  const DWORD saved = ::GetLastError();
  if (written > 0) {
    hook->After(FileEvent{FileOp::kWrite, {}, {}, fd_, offset, data.substr(0, written)});
  }
  if (refused != 0) {
    ::SetLastError(static_cast<DWORD>(refused));
    return false;
  }
  ::SetLastError(saved);
  return whole;
}

bool File::Seek(int64_t position) {
  if (fd_ < 0 || position < 0) return false;
  LARGE_INTEGER to{};
  to.QuadPart = position;
  return ::SetFilePointerEx(HandleOf(fd_), to, nullptr, FILE_BEGIN) != 0;
}

int64_t File::Position() const {
  if (fd_ < 0) return -1;
  LARGE_INTEGER zero{};
  LARGE_INTEGER now{};
  if (!::SetFilePointerEx(HandleOf(fd_), zero, &now, FILE_CURRENT)) return -1;
  return now.QuadPart;
}

int64_t File::Size() const {
  if (fd_ < 0) return -1;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(HandleOf(fd_), &size)) return -1;
  return size.QuadPart;
}

bool File::SetEnd() {
  if (fd_ < 0) return false;
  FileHook* hook = InstalledFileHook();
  if (hook == nullptr) return ::SetEndOfFile(HandleOf(fd_)) != 0;
  const FileEvent event{FileOp::kSetEnd, {}, {}, fd_, Position()};
  if (const int refused = hook->Before(event, nullptr); refused != 0) {
    ::SetLastError(static_cast<DWORD>(refused));
    return false;
  }
  if (::SetEndOfFile(HandleOf(fd_)) == 0) return false;
  hook->After(event);
  return true;
}

bool File::Sync() {
  if (fd_ < 0) return false;
  if (FileHook* hook = InstalledFileHook()) {
    const FileEvent event{FileOp::kSync, {}, {}, fd_};
    if (const int refused = hook->Before(event, nullptr); refused != 0) {
      ::SetLastError(static_cast<DWORD>(refused));
      return false;
    }
    hook->After(event);
    return true;
  }
  return ::FlushFileBuffers(HandleOf(fd_)) != 0;
}

void File::Close() {
  if (fd_ >= 0) {
    if (FileHook* hook = InstalledFileHook()) hook->After(FileEvent{FileOp::kClose, {}, {}, fd_});
    ::CloseHandle(HandleOf(fd_));
    fd_ = -1;
  }
}

int LastError() { return static_cast<int>(::GetLastError()); }

int DiskFullError() { return ERROR_DISK_FULL; }

int InputOutputError() { return ERROR_WRITE_FAULT; }

}  // namespace quorix::platform
