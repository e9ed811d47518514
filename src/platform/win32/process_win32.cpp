// Facts about the running process on Windows.
#include <string>

#include "platform/process.h"
#include "platform/win32/windows_api.h"

namespace quorix::platform {
namespace {

// Drops trailing separators, but keeps the one of a drive's root ("C:\").
std::string WithoutTrailingSeparator(std::string path) {
  while (path.size() > 1 && (path.back() == '\\' || path.back() == '/') &&
         path[path.size() - 2] != ':') {
    path.pop_back();
  }
  return path;
}

// A string filled by an API that returns the length it needs when the
// buffer is too small, and 0 on failure.
template <typename Fill>
std::string FilledString(Fill fill) {
  std::string buffer(MAX_PATH, '\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD length = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(length + 1);
  }
  return std::string();
}

}  // namespace

std::string CurrentDirectory() {
  const std::string directory =
      FilledString([](char* buffer, DWORD size) { return ::GetCurrentDirectoryA(size, buffer); });
  return directory.empty() ? std::string(".") : WithoutTrailingSeparator(directory);
}

std::string GetEnvironment(std::string_view name) {
  const std::string key(name);
  return FilledString([&key](char* buffer, DWORD size) {
    return ::GetEnvironmentVariableA(key.c_str(), buffer, size);
  });
}

std::string TempDirectory() {
  const std::string directory =
      FilledString([](char* buffer, DWORD size) { return ::GetTempPathA(size, buffer); });
  return directory.empty() ? std::string(".") : WithoutTrailingSeparator(directory);
}

}  // namespace quorix::platform
