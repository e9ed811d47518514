// The key=value lookup against a literal reading of its rules: one pass of
// " =" -> "=" over the whole text, lines up to each LF with every CR removed,
// first line that begins with the key (code page 437 case ignored), value
// after the first "=", default for an empty value or one that contains
// "incompatible". The lookup under test does all of this in one pass without
// copying, so the two must agree on every input.
//
// Input: key, default and configuration text, separated by 0x1E.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "text/settings.h"
#include "text/text.h"

namespace {

using quorix::text::LowerCase437;
using quorix::text::ReplaceAll;
using quorix::text::UpperCase437;

std::string ReferenceLookup(std::string_view text, std::string_view key,
                            std::string_view default_value) {
  const std::string normalised = ReplaceAll(text, " =", "=");
  const std::string upper_key = UpperCase437(key);
  std::string_view rest = normalised;
  std::string value;
  for (;;) {
    const size_t lf = rest.find('\n');
    if (lf == std::string_view::npos) break;
    std::string line;
    for (char c : rest.substr(0, lf)) {
      if (c != '\r') line.push_back(c);
    }
    rest.remove_prefix(lf + 1);
    if (UpperCase437(line).rfind(upper_key, 0) == 0) {
      const size_t equals = line.find('=');
      if (equals != std::string::npos) value = line.substr(equals + 1);
      break;
    }
  }
  if (value.empty() || LowerCase437(value).find("incompatible") != std::string::npos) {
    return std::string(default_value);
  }
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto parts = quorix::fuzz::SplitParts(quorix::fuzz::AsText(data, size), 3);
  const std::string_view key = parts[0];
  const std::string_view default_value = parts[1];
  const std::string_view text = parts[2];

  const std::string looked_up = quorix::text::LookupSetting(text, key, default_value);
  QUORIX_FUZZ_CHECK(looked_up == ReferenceLookup(text, key, default_value),
                    ReferenceLookup(text, key, default_value), looked_up);

  const std::string ex_key = "Ex" + std::string(key);
  std::string expected = ReferenceLookup(text, ex_key, "");
  if (expected.empty()) expected = ReferenceLookup(text, key, default_value);
  const std::string got = quorix::text::GetSetting(text, key, default_value);
  QUORIX_FUZZ_CHECK(got == expected, expected, got);

  // The boolean reading of whatever came out.
  const std::string lower = LowerCase437(got);
  const bool truth = lower == "enabled" || lower == "j" || lower == "y" || lower == "on" ||
                     lower == "ein" || lower == "true" || lower == "1";
  QUORIX_FUZZ_CHECK(quorix::text::IsTrueSetting(got) == truth, truth ? "true" : "false", got);
  return 0;
}
