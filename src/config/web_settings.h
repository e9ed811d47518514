// A box's web settings: server, engine, spool, scripts, posting switch, group
// list file and sender address, from either CrossPoint configuration style.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "log/thread_log.h"
#include "run/run.h"

namespace quorix::config {

// Engine name to engine: "CGI"/"UBBCGI" -> UBB, "THREADS"/"UBBTHREADS"/"UBBTHREAD"
// -> UBBThreads (letter case ignored), anything else -> none.
int EngineFromName(std::string_view name);

// The host of a server setting: "https://host" -> "host" with *tls set;
// "http://host" and a bare "host" -> "host" without. A "/" after a scheme's
// host is dropped; a bare value stays exactly as it is.
std::string ServerHost(std::string_view value, bool* tls);

// "WebKeepAlive=": 1 for "Y" (also "J", "1"), 0 for "N" (also "0"), -1
// when empty or anything else (the default for the box's scheme applies).
int KeepAliveSetting(std::string_view value);

// "WebConnections=": 1..8, or 0 when empty (the default applies). A number
// outside 1..8 is clamped into it and anything else gives 0; both set
// *problem to the log line that says so.
inline constexpr int kMaxConnections = 8;
int ConnectionsSetting(std::string_view value, std::string* problem);

// The name up to its first "." (all of it when there is none).
std::string_view NameBeforeFirstDot(std::string_view name);

// What a box's configuration text sets of its slot.
struct WebConfig {
  run::WebSettings web;
  run::ForumTemplate forum_template;
  // The DupeBaseLimit the box's style asks for ("WebDupeSize="); nothing when
  // the installation has neither style.
  std::optional<int64_t> dupe_base_size;
};

// The web settings, forum template and dupe base size of the box `box_file`
// from its configuration text, over the slot's settings `web` (a key the
// style has not keeps its value). Logs a WebPort out of range and a bad
// "WebConnections=", and opens the client log (RFC/Client style) in between,
// as the lines come. The group list and "/NOPOST" are the caller's.
WebConfig ReadWebSettings(const run::Environment& env, log::ThreadLog log,
                          std::string_view config_text, run::WebSettings web,
                          std::string_view box_file);

}  // namespace quorix::config
