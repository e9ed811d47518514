// A box's configuration file (".BFG") and its companion (".BFE").
#pragma once

#include <string>
#include <string_view>

#include "log/thread_log.h"
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

// What reading a box found: its configuration text, or why there is none.
struct BoxConfig {
  bool read = false;  // the box file was read and has the box extension
  std::string text;   // the box file's first bytes + CR LF, the companion's + CR LF
  // "Error: Configurationfile '...' not found!" (logged at level 1) when the
  // box file does not exist: the panel shows it while the caller waits
  // kMissingBoxPauseMs; else empty.
  std::string missing;
};
inline constexpr int kMissingBoxPauseMs = 5000;

// Loads the box and companion files into one configuration text, logging to
// the worker's log; the installation's style picks the name (BoxFileName).
// Writes nothing of the slot: the caller shows the result and reads the web
// settings from the text.
BoxConfig ReadBoxConfig(run::Run& run, const log::ThreadLog& log, const std::string& box_file);

}  // namespace quorix::config
