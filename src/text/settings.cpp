// The key=value lookup over a configuration text.
//
// The text is read as if every " =" had first become "=" (one left-to-right
// pass) and every CR had been removed from each line. Both rules only ever
// drop bytes: a blank that stands directly before "=" and every CR. Because
// neither touches LF, the lookup applies them line by line while it scans,
// without copying the text: a non-matching line usually costs one byte
// comparison.
#include "text/settings.h"

#include <array>
#include <cstring>
#include <new>

#include "text/text.h"

namespace quorix::text {

namespace {

constexpr char kLookupFailed[] = "Cfg_Error";

// True when byte `i` of `line` stays in the normalised line.
bool Kept(std::string_view line, size_t i) {
  char c = line[i];
  if (c == '\r') return false;
  if (c == ' ' && i + 1 < line.size() && line[i + 1] == '=') return false;
  return true;
}

// Whether the normalised `line` begins with `upper_key` (already upper case),
// letters compared after code page 437 upper-casing.
bool StartsWithKey(std::string_view line, std::string_view upper_key) {
  size_t k = 0;
  for (size_t i = 0; i < line.size() && k < upper_key.size(); ++i) {
    if (!Kept(line, i)) continue;
    if (ToUpper437(line[i]) != upper_key[k]) return false;
    ++k;
  }
  return k == upper_key.size();
}

// The normalised part of `line` after its first "=" (empty without one).
std::string ValueOf(std::string_view line) {
  std::string value;
  size_t equals = line.find('=');
  if (equals == std::string_view::npos) return value;
  value.reserve(line.size() - equals - 1);
  for (size_t i = equals + 1; i < line.size(); ++i) {
    if (Kept(line, i)) value.push_back(line[i]);
  }
  return value;
}

// The value of the first LF-terminated line that begins with the key; empty
// when there is none.
std::string FindValue(std::string_view text, std::string_view upper_key) {
  size_t pos = 0;
  while (pos < text.size()) {
    const void* lf = std::memchr(text.data() + pos, '\n', text.size() - pos);
    if (lf == nullptr) break;  // a last line without LF is never examined
    size_t end = static_cast<size_t>(static_cast<const char*>(lf) - text.data());
    std::string_view line = text.substr(pos, end - pos);
    if (StartsWithKey(line, upper_key)) return ValueOf(line);
    pos = end + 1;
  }
  return {};
}

}  // namespace

std::string LookupSetting(std::string_view text, std::string_view key,
                          std::string_view default_value) {
  try {
    std::string value = FindValue(text, UpperCase437(key));
    if (value.empty() || LowerCase437(value).find("incompatible") != std::string::npos) {
      return std::string(default_value);
    }
    return value;
  } catch (const std::bad_alloc&) {
    return kLookupFailed;
  }
}

std::string GetSetting(std::string_view text, std::string_view key,
                       std::string_view default_value) {
  try {
    std::string ex_key = "Ex";
    ex_key.append(key);
    std::string value = LookupSetting(text, ex_key, "");
    if (!value.empty()) return value;
    return LookupSetting(text, key, default_value);
  } catch (const std::bad_alloc&) {
    return kLookupFailed;
  }
}

bool IsTrueSetting(std::string_view value) {
  static constexpr std::array<std::string_view, 7> kTrueWords = {"enabled", "j",   "y",   "on",
                                                                 "ein",     "true", "1"};
  if (value.size() > 7) return false;
  std::string lower = LowerCase437(value);
  for (std::string_view word : kTrueWords) {
    if (lower == word) return true;
  }
  return false;
}

}  // namespace quorix::text
