// The group list walk: the normalised text that the scan driver writes back,
// against a step-by-step reading of its rules (CR LF appended when missing,
// every CR removed, one pass of "  " -> " ", lines at LF, each line + CR LF,
// one pass of CR LF CR LF -> CR LF), and the fields of every entry line.
//
// Input: the group list file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "harvest/group_list_walk.h"
#include "text/text.h"

namespace {

using quorix::text::ReplaceAll;

std::string ReferenceNormalise(std::string_view file_text) {
  std::string text(file_text);
  if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) text.append("\r\n");
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  text = ReplaceAll(text, "  ", " ");
  std::string rebuilt;
  size_t start = 0;
  for (;;) {
    const size_t lf = text.find('\n', start);
    rebuilt.append(text, start, lf == std::string::npos ? std::string::npos : lf - start);
    rebuilt.append("\r\n");
    if (lf == std::string::npos) break;
    start = lf + 1;
  }
  return ReplaceAll(rebuilt, "\r\n\r\n", "\r\n");
}

// Field `index` (from 1) of the line split at ",", blanks at both ends removed.
std::string_view ReferenceField(std::string_view line, size_t index) {
  for (size_t i = 1; i < index; ++i) {
    const size_t comma = line.find(',');
    if (comma == std::string_view::npos) return {};
    line.remove_prefix(comma + 1);
  }
  line = line.substr(0, line.find(','));
  while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
  while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
  return line;
}

int32_t Saturated32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace harvest = quorix::harvest;
  const std::string_view file_text = quorix::fuzz::AsText(data, size);

  const std::string normalised = harvest::NormaliseGroupList(file_text);
  const std::string expected = ReferenceNormalise(file_text);
  QUORIX_FUZZ_CHECK(normalised == expected, expected, normalised);

  const std::string cleaned = harvest::CleanGroupListText(file_text);
  const std::vector<std::string_view> lines = harvest::GroupListLines(cleaned);
  QUORIX_FUZZ_CHECK(lines.size() ==
                    static_cast<size_t>(std::count(cleaned.begin(), cleaned.end(), '\n')) + 1);
  for (std::string_view line : lines) {
    QUORIX_FUZZ_CHECK(line.find('\n') == std::string_view::npos);
    if (!harvest::IsGroupEntry(line)) continue;
    const harvest::GroupEntry entry = harvest::ParseGroupEntry(line);
    QUORIX_FUZZ_CHECK(entry.newsgroup == ReferenceField(line, 1), ReferenceField(line, 1),
                      entry.newsgroup);
    QUORIX_FUZZ_CHECK(entry.forum_name == ReferenceField(line, 2), ReferenceField(line, 2),
                      entry.forum_name);
    const std::string_view number = quorix::text::Field(line, ",", 3);
    const std::string_view days = quorix::text::Field(line, ",", 4);
    QUORIX_FUZZ_CHECK(entry.forum_number == Saturated32(quorix::text::LeadingNumber(number)));
    QUORIX_FUZZ_CHECK(entry.days == Saturated32(quorix::text::LeadingNumber(days)));
  }
  return 0;
}
