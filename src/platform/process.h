// Facts about the running process.
#pragma once

#include <string>
#include <string_view>

namespace quorix::platform {

std::string CurrentDirectory();                  // without a trailing separator
std::string GetEnvironment(std::string_view name);  // empty when unset
std::string TempDirectory();                     // for lock files; without trailing "/"

}  // namespace quorix::platform
