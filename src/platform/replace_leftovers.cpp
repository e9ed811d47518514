// The temporary files that ReplaceFileContents leaves behind when its process
// dies between creating one and renaming it over the file.
#include <cctype>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace quorix::platform {

namespace {

// `tail` is what a temporary's name adds to the file's: ".tmp", the process
// number, "-", a number (both platforms name them so).
bool IsTemporaryTail(std::string_view tail) {
  constexpr std::string_view kMark = ".tmp";
  if (tail.substr(0, kMark.size()) != kMark) return false;
  tail.remove_prefix(kMark.size());
  const size_t dash = tail.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash + 1 == tail.size()) return false;
  for (size_t i = 0; i < tail.size(); ++i) {
    if (i != dash && std::isdigit(static_cast<unsigned char>(tail[i])) == 0) return false;
  }
  return true;
}

}  // namespace

void DeleteReplaceLeftovers(std::string_view name) {
  const size_t cut = name.find_last_of("/\\");
  const std::string directory(cut == std::string_view::npos ? "" : name.substr(0, cut + 1));
  const std::string_view file = cut == std::string_view::npos ? name : name.substr(cut + 1);
  for (const std::string& found : ListDirectory(directory, std::string(file) + ".tmp*")) {
    // The listing ignores letter case, so the file's part has the same length.
    if (IsTemporaryTail(std::string_view(found).substr(file.size()))) DeleteFile(directory + found);
  }
}

}  // namespace quorix::platform
