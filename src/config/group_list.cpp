#include "config/group_list.h"

#include <string>

#include "log/logger.h"
#include "log/shared_file.h"
#include "platform/file.h"

namespace quorix::config {

std::optional<std::string> ReadGroupList(platform::NamedMutex& file_open_mutex, log::ThreadLog log,
                                         const std::string& group_file) {
  platform::File file;
  // Checked first, because the shared open would create a missing file.
  if (platform::FileExists(group_file) &&
      log::OpenShared(file_open_mutex, log.logger, group_file, log.thread, &file)) {
    log.Write("Reading Web/Grouplist", log::kProgress);
    std::string content;
    const bool read = file.ReadToEnd(&content);
    file.Close();
    if (read) return content;
    return std::nullopt;
  }
  log.Write("Error Reading Web/GRouplist", log::kProblem);
  return std::nullopt;
}

}  // namespace quorix::config
