// Opening the files that CrossPoint, our threads and other instances share.
#pragma once

#include <string_view>

#include "log/logger.h"
#include "platform/file.h"
#include "platform/named_mutex.h"

namespace quorix::log {

// Opens `name` under `file_open_mutex` (held for the open only): read and
// write, falling back to read only; created empty when missing. On failure
// logs "Error (" + number + ") Opening " + name at level 2 for `thread` and
// returns false with *file closed.
bool OpenShared(platform::NamedMutex& file_open_mutex, Logger& logger, std::string_view name,
                int thread, platform::File* file);

}  // namespace quorix::log
