#include "harvest/group_list_walk.h"

#include "text/text.h"

namespace quorix::harvest {

std::string CleanGroupListText(std::string_view file_text) {
  std::string without_cr;
  without_cr.reserve(file_text.size() + 2);
  for (char c : file_text) {
    if (c != '\r') without_cr.push_back(c);
  }
  const bool ends_with_crlf =
      file_text.size() >= 2 && file_text.substr(file_text.size() - 2) == "\r\n";
  if (!ends_with_crlf) without_cr.push_back('\n');  // the CR LF, with its CR removed
  return text::ReplaceAll(without_cr, "  ", " ");
}

std::vector<std::string_view> GroupListLines(std::string_view cleaned_text) {
  return text::Split(cleaned_text, "\n");
}

bool IsGroupEntry(std::string_view line) {
  if (line.empty()) return false;
  const char c = line.front();
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

GroupEntry ParseGroupEntry(std::string_view line) {
  GroupEntry entry;
  entry.newsgroup = std::string(text::TrimBlanks(text::Field(line, ",", 1)));
  entry.forum_name = std::string(text::TrimBlanks(text::Field(line, ",", 2)));
  entry.forum_number = text::LeadingNumber32(text::Field(line, ",", 3));
  entry.days = text::LeadingNumber32(text::Field(line, ",", 4));
  return entry;
}

std::string RebuildGroupListText(const std::vector<std::string_view>& lines) {
  size_t size = 0;
  for (std::string_view line : lines) size += line.size() + 2;
  std::string rebuilt;
  rebuilt.reserve(size);
  for (std::string_view line : lines) rebuilt.append(line).append("\r\n");
  return text::ReplaceAll(rebuilt, "\r\n\r\n", "\r\n");
}

std::string NormaliseGroupList(std::string_view file_text) {
  const std::string cleaned = CleanGroupListText(file_text);
  return RebuildGroupListText(GroupListLines(cleaned));
}

}  // namespace quorix::harvest
