// The box's group list file, loaded whole for the posting lookups.
#pragma once

#include <optional>
#include <string>

#include "log/thread_log.h"
#include "platform/named_mutex.h"

namespace quorix::config {

// The whole text of the box's group list file (its WebFile), opened under
// `file_open_mutex`. Nothing for a missing or unopenable file, which logs
// "Error Reading Web/GRouplist" (the slot keeps the text it had); the file
// is never created here.
std::optional<std::string> ReadGroupList(platform::NamedMutex& file_open_mutex, log::ThreadLog log,
                                         const std::string& group_file);

}  // namespace quorix::config
