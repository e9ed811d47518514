// DOS names on Windows: the system itself ignores letter case and takes "\"
// and "/" alike, so names are used as given. Directory listing by wildcard,
// existence, delete, rename-over and the whole-file helpers.
#include <algorithm>
#include <string>

#include "platform/file.h"
#include "platform/file_hook.h"
#include "platform/spool_extension.h"
#include "platform/win32/windows_api.h"

namespace quorix::platform {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

DWORD AttributesOf(const std::string& path) {
  return path.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesA(path.c_str());
}

// The search pattern that lists every entry of `directory` ("" is the
// current directory). The wildcard itself is matched by MatchWildcard,
// because the system's own matching also looks at generated short names
// ("*.MSG" would find "A.MSGX" through "A~1.MSG").
std::string ListPatternOf(std::string_view directory) {
  std::string path(directory);
  if (!path.empty() && !IsSeparator(path.back()) && path.back() != ':') path.push_back('\\');
  return path + "*";
}

bool WriteAll(HANDLE handle, std::string_view data) {
  while (!data.empty()) {
    const DWORD chunk = data.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(data.size());
    DWORD count = 0;
    if (!::WriteFile(handle, data.data(), chunk, &count, nullptr) || count == 0) return false;
    data.remove_prefix(count);
  }
  return true;
}

// Asks the installed hook before a name operation: 0 to go on.
int HookBefore(FileHook* hook, const FileEvent& event) {
  const int refused = hook->Before(event, nullptr);
  if (refused != 0) ::SetLastError(static_cast<DWORD>(refused));
  return refused;
}

}  // namespace

std::string ResolveName(std::string_view name) { return std::string(name); }

std::string ResolveDirectoryOf(std::string_view name) { return std::string(name); }

bool FileExists(std::string_view name) {
  const DWORD attributes = AttributesOf(ResolveName(name));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool OwnFileExists(std::string_view name) { return FileExists(name); }

bool IsFileExistsError(int error) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

bool DirectoryExists(std::string_view name) {
  std::string path = ResolveName(name);
  // "C:\DIR\" names the directory as well as "C:\DIR" does; "C:\" stays.
  while (path.size() > 1 && IsSeparator(path.back()) && path[path.size() - 2] != ':') {
    path.pop_back();
  }
  const DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool DeleteFile(std::string_view name) {
  const std::string path = ResolveName(name);
  if (path.empty()) return false;
  FileHook* hook = InstalledFileHook();
  if (hook == nullptr) return ::DeleteFileA(path.c_str()) != 0;
  const FileEvent event{FileOp::kDelete, path};
  if (HookBefore(hook, event) != 0 || ::DeleteFileA(path.c_str()) == 0) return false;
  hook->After(event);
  return true;
}

bool RenameOver(std::string_view from, std::string_view to) {
  const std::string from_path = ResolveName(from);
  const std::string to_path = ResolveName(to);
  if (from_path.empty() || to_path.empty()) return false;
  FileHook* hook = InstalledFileHook();
  if (hook != nullptr && HookBefore(hook, FileEvent{FileOp::kRename, from_path, to_path}) != 0) {
    return false;
  }
  if (::MoveFileExA(from_path.c_str(), to_path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    return false;
  }
  if (hook != nullptr) {
    hook->After(FileEvent{FileOp::kRename, from_path, to_path, -1, 0, {}, true});
  }
  return true;
}

bool RenameNew(std::string_view from, std::string_view to, int* error) {
  const std::string from_path = ResolveName(from);
  const std::string to_path = ResolveDirectoryOf(to);
  DWORD result_error = ERROR_FILE_NOT_FOUND;
  FileHook* hook = InstalledFileHook();
  if (hook != nullptr && !from_path.empty() && !to_path.empty()) {
    if (const int refused = HookBefore(hook, FileEvent{FileOp::kRename, from_path, to_path})) {
      if (error != nullptr) *error = refused;
      return false;
    }
  }
  if (!from_path.empty() && !to_path.empty()) {
    // Without MOVEFILE_REPLACE_EXISTING an existing target is never
    // replaced: the move fails with ERROR_ALREADY_EXISTS.
    if (::MoveFileExA(from_path.c_str(), to_path.c_str(), MOVEFILE_WRITE_THROUGH) != 0) {
      if (hook != nullptr) {
        hook->After(FileEvent{FileOp::kRename, from_path, to_path, -1, 0, {}, true});
      }
      return true;
    }
    result_error = ::GetLastError();
  }
  if (error != nullptr)
    *error = result_error != 0 ? static_cast<int>(result_error) : ERROR_GEN_FAILURE;
  return false;
}

std::vector<std::string> ListDirectory(std::string_view directory, std::string_view pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry{};
  HANDLE search = ::FindFirstFileA(ListPatternOf(directory).c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string_view entry_name(entry.cFileName);
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    if (MatchWildcard(pattern, entry_name)) names.emplace_back(entry_name);
  } while (::FindNextFileA(search, &entry));
  ::FindClose(search);
  return names;
}

// The temporary name carries the process and thread, so that concurrent
// writers never share one; a leftover of a crashed run is skipped by
// CREATE_NEW. The file is flushed before it replaces the original with
// MoveFileExA (replace, write-through).
bool SyncDirectory(std::string_view directory) {
  std::string path(directory);
  if (path.empty()) path = ".";
  while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  if (FileHook* hook = InstalledFileHook()) {
    const FileEvent event{FileOp::kSyncDirectory, path};
    if (HookBefore(hook, event) != 0) return false;
    hook->After(event);
    return true;
  }
  HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    // A directory that exists but may not be opened for flushing.
    const DWORD error = ::GetLastError();
    return error == ERROR_ACCESS_DENIED && ::GetFileAttributesA(path.c_str()) !=
                                               INVALID_FILE_ATTRIBUTES;
  }
  const bool flushed = ::FlushFileBuffers(handle) != 0;
  const DWORD error = flushed ? 0 : ::GetLastError();
  ::CloseHandle(handle);
  return flushed || error == ERROR_INVALID_FUNCTION || error == ERROR_ACCESS_DENIED;
}

bool ReplaceFileContents(std::string_view name, std::string_view data) {
  const std::string path = ResolveName(name);
  if (path.empty()) return false;
  const std::string base = path + ".tmp" + std::to_string(::GetCurrentProcessId()) + "-";
  DWORD number = ::GetCurrentThreadId() % 1000000;
  FileHook* hook = InstalledFileHook();
  std::string temp;
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt, ++number) {
    temp = base + std::to_string(number);
    if (hook != nullptr && HookBefore(hook, FileEvent{FileOp::kCreate, temp}) != 0) return false;
    handle = ::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE && !IsFileExistsError(static_cast<int>(::GetLastError()))) {
      return false;
    }
  }
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool ok = false;
  if (hook == nullptr) {
    ok = WriteAll(handle, data) && ::FlushFileBuffers(handle) != 0;
  } else {
    // The same steps, each asked and told; the hook does the flush.
    const int fd = win32::IntOf(handle);
    hook->After(FileEvent{FileOp::kCreate, temp, {}, fd});
    int64_t allowed = static_cast<int64_t>(data.size());
    const int refused = hook->Before(FileEvent{FileOp::kWrite, {}, {}, fd, 0, data}, &allowed);
    const std::string_view part =
        data.substr(0, static_cast<size_t>(std::max<int64_t>(allowed, 0)));
    ok = (refused == 0 || allowed > 0) && WriteAll(handle, part);
    if (ok && !part.empty()) hook->After(FileEvent{FileOp::kWrite, {}, {}, fd, 0, part});
    ok = ok && refused == 0 && HookBefore(hook, FileEvent{FileOp::kSync, {}, {}, fd}) == 0;
    if (ok) hook->After(FileEvent{FileOp::kSync, {}, {}, fd});
    hook->After(FileEvent{FileOp::kClose, {}, {}, fd});
  }
  if (!::CloseHandle(handle)) ok = false;
  if (ok) ok = RenameOver(temp, path);
  if (!ok) {
    const DWORD saved = ::GetLastError();
    if (hook == nullptr) {
      ::DeleteFileA(temp.c_str());
    } else {
      DeleteFile(temp);
    }
    ::SetLastError(saved);
    return false;
  }
  return true;
}

std::string_view SpoolExtension() { return ".MSG"; }

}  // namespace quorix::platform
