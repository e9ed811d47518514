// The key=value lookup over a configuration text. Keys include their "=".
#pragma once

#include <string>
#include <string_view>

namespace quorix::text {

// The value of the first line that begins with `key` (letter case ignored) in
// `text`; `default_value` when there is none, the value is empty, or it
// contains "incompatible" in any letter case. Lines end in LF (CR dropped);
// a last line without LF is never examined. Before the scan every " =" in
// the text becomes "=" in one pass.
std::string LookupSetting(std::string_view text, std::string_view key,
                          std::string_view default_value);

// "Ex" + key first (empty default); when that is non-empty it wins, else the
// plain key with `default_value`.
std::string GetSetting(std::string_view text, std::string_view key,
                       std::string_view default_value);

// True for "enabled", "j", "y", "on", "ein", "true", "1" (any letter case, no blanks).
bool IsTrueSetting(std::string_view value);

}  // namespace quorix::text
