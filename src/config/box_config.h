// A box's configuration file (".BFG") and its companion (".BFE").
#pragma once

#include <string>
#include <string_view>

#include "run/run.h"

namespace quorix::config {

constexpr int64_t kBoxFileLimit = 16024;        // bytes read of the box file
constexpr int64_t kCompanionFileLimit = 32048;  // bytes read of the companion file

// The name under which the box file is read: unchanged in the RFC/PPP style;
// in the RFC/Client style the directory is dropped, the name cut at its first
// "." and ".BFG" appended (looked up in the current directory).
std::string BoxFileName(std::string_view name, bool rfc_client);

// The companion: the name up to its first "." + ".BFE".
std::string CompanionFileName(std::string_view name);

// The second "."-separated field of the name, upper-cased, is "BFG".
bool HasBoxExtension(std::string_view name);

// Loads the box and companion files into one configuration text and fills the
// slot's web settings from it. False when the box cannot be read.
bool ReadBoxConfig(run::Run& run, const std::string& box_file, int slot);

}  // namespace quorix::config
