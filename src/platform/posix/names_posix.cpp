// DOS names on POSIX: "\" read as "/", case-insensitive lookup of names that do
// not exist exactly, directory listing by wildcard, and the whole-file helpers.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "platform/file.h"
#include "platform/file_hook.h"
#include "platform/spool_extension.h"

namespace quorix::platform {
namespace {

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

bool NameExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

// The entry of `directory` whose name equals `component` ignoring letter case.
// When several do (a case-sensitive system allows that), the smallest name in
// byte order wins, so the choice does not depend on the listing order.
std::optional<std::string> FindIgnoringCase(const std::string& directory,
                                            std::string_view component) {
  DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
  if (dir == nullptr) return std::nullopt;
  std::optional<std::string> found;
  while (const dirent* entry = ::readdir(dir)) {
    std::string_view entry_name(entry->d_name);
    if (SameIgnoringCase(entry_name, component) && (!found || entry_name < *found)) {
      found = std::string(entry_name);
    }
  }
  ::closedir(dir);
  return found;
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The directory named by a ListDirectory argument: "" is the current one, and
// a trailing separator is dropped.
std::string DirectoryToList(std::string_view directory) {
  std::string path = ResolveName(directory);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty()) path = ".";
  return path;
}

bool WriteAllToDescriptor(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t count = ::write(fd, data.data(), data.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (count == 0) return false;
    data.remove_prefix(static_cast<size_t>(count));
  }
  return true;
}

// Asks the installed hook, if any, before a name operation: 0 to go on.
int HookBefore(FileHook* hook, const FileEvent& event) {
  if (hook == nullptr) return 0;
  const int refused = hook->Before(event, nullptr);
  if (refused != 0) errno = refused;
  return refused;
}

void SyncDirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  if (FileHook* hook = InstalledFileHook()) {
    const FileEvent event{FileOp::kSyncDirectory, directory};
    if (hook->Before(event, nullptr) == 0) hook->After(event);
    return;
  }
  int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);  // best effort: makes the rename itself durable
    ::close(fd);
  }
}

}  // namespace

bool SyncDirectory(std::string_view directory) {
  const std::string path = DirectoryToList(directory);
  if (FileHook* hook = InstalledFileHook()) {
    const FileEvent event{FileOp::kSyncDirectory, path};
    if (HookBefore(hook, event) != 0) return false;
    hook->After(event);
    return true;
  }
  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  return ::close(fd) == 0 && synced;
}

std::string ResolveName(std::string_view name) {
  std::string path(name);
  std::replace(path.begin(), path.end(), '\\', '/');
  if (path.empty() || NameExists(path)) return path;

  // Walk the components; separators are kept exactly as given. Once one
  // component is missing altogether the rest cannot exist either.
  std::string result;
  result.reserve(path.size());
  bool missing = false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string_view component(path.data() + start, end - start);
    if (missing || component.empty() || component == "." || component == ".." ||
        NameExists(result + std::string(component))) {
      result.append(component);
    } else if (auto found = FindIgnoringCase(result, component)) {
      result.append(*found);
    } else {
      result.append(component);
      missing = true;
    }
    if (end == path.size()) break;
    result.push_back('/');
    start = end + 1;
  }
  return result;
}

std::string ResolveDirectoryOf(std::string_view name) {
  std::string path(name);
  std::replace(path.begin(), path.end(), '\\', '/');
  const size_t cut = path.rfind('/');
  if (cut == std::string::npos) return path;
  return ResolveName(std::string_view(path).substr(0, cut + 1)) + path.substr(cut + 1);
}

bool FileExists(std::string_view name) { return IsRegularFile(ResolveName(name)); }

bool OwnFileExists(std::string_view name) { return IsRegularFile(ResolveDirectoryOf(name)); }

bool IsFileExistsError(int error) { return error == EEXIST; }

bool DirectoryExists(std::string_view name) {
  const std::string path = ResolveName(name);
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool DeleteFile(std::string_view name) {
  const std::string path = ResolveName(name);
  if (path.empty()) return false;
  FileHook* hook = InstalledFileHook();
  if (hook == nullptr) return ::unlink(path.c_str()) == 0;
  const FileEvent event{FileOp::kDelete, path};
  if (HookBefore(hook, event) != 0 || ::unlink(path.c_str()) != 0) return false;
  hook->After(event);
  return true;
}

bool RenameOver(std::string_view from, std::string_view to) {
  const std::string from_path = ResolveName(from);
  const std::string to_path = ResolveName(to);
  if (from_path.empty() || to_path.empty()) return false;
  FileHook* hook = InstalledFileHook();
  if (hook == nullptr) return ::rename(from_path.c_str(), to_path.c_str()) == 0;
  const FileEvent event{FileOp::kRename, from_path, to_path};
  if (HookBefore(hook, event) != 0 || ::rename(from_path.c_str(), to_path.c_str()) != 0) {
    return false;
  }
  hook->After(event);
  return true;
}

bool RenameNew(std::string_view from, std::string_view to, int* error) {
  const std::string from_path = ResolveName(from);
  const std::string to_path = ResolveDirectoryOf(to);
  int result_error = ENOENT;
  FileHook* hook = InstalledFileHook();
  const auto event = [&] { return FileEvent{FileOp::kRename, from_path, to_path}; };
  if (hook != nullptr && !from_path.empty() && !to_path.empty() &&
      HookBefore(hook, event()) != 0) {
    if (error != nullptr) *error = errno;
    return false;
  }
  if (!from_path.empty() && !to_path.empty()) {
    if (::renameat2(AT_FDCWD, from_path.c_str(), AT_FDCWD, to_path.c_str(), RENAME_NOREPLACE) ==
        0) {
      if (hook != nullptr) hook->After(event());
      return true;
    }
    result_error = errno;
    if (result_error == EINVAL || result_error == ENOSYS) {
      // A file system without the flag: a hard link fails on an existing
      // name just as well; the old name is removed once the new one exists.
      if (::link(from_path.c_str(), to_path.c_str()) == 0) {
        ::unlink(from_path.c_str());
        if (hook != nullptr) hook->After(event());
        return true;
      }
      result_error = errno;
    }
  }
  if (error != nullptr) *error = result_error != 0 ? result_error : EIO;
  return false;
}

std::vector<std::string> ListDirectory(std::string_view directory, std::string_view pattern) {
  std::vector<std::string> names;
  const std::string path = DirectoryToList(directory);
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return names;
  const std::string prefix = path == "/" ? path : path + "/";
  while (const dirent* entry = ::readdir(dir)) {
    std::string_view entry_name(entry->d_name);
    if (entry_name == "." || entry_name == ".." || !MatchWildcard(pattern, entry_name)) continue;
    bool regular = entry->d_type == DT_REG;
    if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      regular = IsRegularFile(prefix + std::string(entry_name));
    }
    if (regular) names.emplace_back(entry_name);
  }
  ::closedir(dir);
  return names;
}

bool ReplaceFileContents(std::string_view name, std::string_view data) {
  const std::string path = ResolveName(name);
  if (path.empty()) return false;

  // The temporary name carries the process and a number derived from the
  // thread, so that concurrent writers never share one; a leftover of a
  // crashed run is skipped by O_EXCL.
  const std::string base = path + ".tmp" + std::to_string(::getpid()) + "-";
  size_t number = std::hash<std::thread::id>{}(std::this_thread::get_id()) % 1000000;
  FileHook* hook = InstalledFileHook();
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt, ++number) {
    temp = base + std::to_string(number);
    if (hook != nullptr && HookBefore(hook, FileEvent{FileOp::kCreate, temp}) != 0) return false;
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno != EEXIST && errno != EINTR) return false;
  }
  if (fd < 0) return false;
  if (hook != nullptr) hook->After(FileEvent{FileOp::kCreate, temp, {}, fd});

  bool ok = false;
  if (hook == nullptr) {
    ok = WriteAllToDescriptor(fd, data) && ::fsync(fd) == 0;
  } else {
    // The same steps, each asked and told; the hook does the flush.
    int64_t allowed = static_cast<int64_t>(data.size());
    const int refused = hook->Before(FileEvent{FileOp::kWrite, {}, {}, fd, 0, data}, &allowed);
    const std::string_view part =
        data.substr(0, static_cast<size_t>(std::max<int64_t>(allowed, 0)));
    ok = (refused == 0 || allowed > 0) && WriteAllToDescriptor(fd, part);
    if (ok && !part.empty()) hook->After(FileEvent{FileOp::kWrite, {}, {}, fd, 0, part});
    ok = ok && refused == 0 && HookBefore(hook, FileEvent{FileOp::kSync, {}, {}, fd}) == 0;
    if (ok) hook->After(FileEvent{FileOp::kSync, {}, {}, fd});
    hook->After(FileEvent{FileOp::kClose, {}, {}, fd});
  }
  if (::close(fd) != 0) ok = false;
  if (ok && hook != nullptr) ok = HookBefore(hook, FileEvent{FileOp::kRename, temp, path}) == 0;
  if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
  if (ok && hook != nullptr) hook->After(FileEvent{FileOp::kRename, temp, path});
  if (!ok) {
    const int saved = errno;
    if (hook == nullptr) {
      ::unlink(temp.c_str());
    } else if (HookBefore(hook, FileEvent{FileOp::kDelete, temp}) == 0 &&
               ::unlink(temp.c_str()) == 0) {
      hook->After(FileEvent{FileOp::kDelete, temp});
    }
    errno = saved;
    return false;
  }
  SyncDirectoryOf(path);
  return true;
}

std::string_view SpoolExtension() { return ".msg"; }

}  // namespace quorix::platform
