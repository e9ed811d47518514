#include "posting/group_list_lookup.h"

#include "text/text.h"

namespace quorix::posting {
namespace {

// Calls `match(line)` for each line until it returns true; gives that line's forum.
template <typename Match>
std::optional<GroupListForum> FindLine(std::string_view group_list_text, Match match) {
  size_t pos = 0;
  while (pos <= group_list_text.size()) {
    size_t end = group_list_text.find("\r\n", pos);
    if (end == std::string_view::npos) end = group_list_text.size();
    std::string_view line = group_list_text.substr(pos, end - pos);
    line = line.substr(0, line.find('\n'));
    if (match(line)) {
      return GroupListForum{std::string(text::TrimBlanks(text::Field(line, ",", 2))),
                            std::string(text::TrimBlanks(text::Field(line, ",", 3)))};
    }
    pos = end + 2;
  }
  return std::nullopt;
}

}  // namespace

std::optional<GroupListForum> FindForumByNumber(std::string_view group_list_text,
                                                std::string_view forum_number) {
  if (forum_number.empty()) return std::nullopt;
  return FindLine(group_list_text, [&](std::string_view line) {
    return text::TrimBlanks(text::Field(line, ",", 3)) == forum_number;
  });
}

std::optional<GroupListForum> FindForumByNewsgroup(std::string_view group_list_text,
                                                   std::string_view newsgroup) {
  if (newsgroup.empty()) return std::nullopt;
  return FindLine(group_list_text, [&](std::string_view line) {
    return text::TrimBlanks(text::Field(line, ",", 1)) == newsgroup;
  });
}

}  // namespace quorix::posting
