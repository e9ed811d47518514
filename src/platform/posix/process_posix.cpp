// Facts about the running process on POSIX.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/process.h"

namespace quorix::platform {

std::string CurrentDirectory() {
  std::string buffer(4096, '\0');
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
      buffer.resize(std::char_traits<char>::length(buffer.c_str()));
      break;
    }
    if (errno != ERANGE || buffer.size() > (1u << 20)) return ".";
    buffer.resize(buffer.size() * 2);
  }
  while (buffer.size() > 1 && buffer.back() == '/') buffer.pop_back();
  return buffer;
}

std::string GetEnvironment(std::string_view name) {
  const char* value = std::getenv(std::string(name).c_str());
  return value != nullptr ? std::string(value) : std::string();
}

std::string TempDirectory() {
  std::string directory = GetEnvironment("TMPDIR");
  if (directory.empty()) directory = "/tmp";
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  return directory;
}

}  // namespace quorix::platform
