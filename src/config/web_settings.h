// A box's web settings: server, engine, spool, scripts, posting switch, group
// list file and sender address, from either CrossPoint configuration style.
#pragma once

#include <string>
#include <string_view>

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

// Fills the slot's web settings, forum template and DupeBaseLimit from the
// box's configuration text, opens the client log (RFC/Client style), loads
// the group list, and applies "/NOPOST".
void ReadWebSettings(run::Run& run, std::string_view config_text, int slot);

}  // namespace quorix::config
