// Opening the files that several threads, several instances and CrossPoint
// share: one open at a time across all of them, failures logged.
#include "log/shared_file.h"

#include <mutex>
#include <string>

namespace quorix::log {

bool OpenShared(platform::NamedMutex& file_open_mutex, Logger& logger, std::string_view name,
                int thread, platform::File* file) {
  int error = 0;
  platform::File opened;
  {
    // Held for the open only; reading and closing happen without it.
    platform::NamedLock lock(file_open_mutex);
    opened = platform::File::Open(name, platform::Access::kReadWriteOrRead,
                                  platform::Sharing::kShared, platform::Missing::kCreate, &error);
  }
  bool ok = opened.IsOpen();
  if (file != nullptr) *file = std::move(opened);
  if (!ok) {
    std::string message = "Error (" + std::to_string(error) + ") Opening ";
    message.append(name);
    logger.WriteLog(message, thread, kProblem);
  }
  return ok;
}

}  // namespace quorix::log
