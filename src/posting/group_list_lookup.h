// Finding an outgoing article's forum in the box's group list text.
//
// For these lookups the text is split into lines at CR LF only, and every line
// counts, entry or not. A line's fields are separated by ",": 1 newsgroup,
// 2 forum name (with "+" for blanks), 3 forum number; each is compared and
// returned without the blanks around it. A lone LF inside a line ends what is
// read of that line, so a group list with LF-only line ends offers only its
// first entry, and no line feed ever reaches a form.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorix::posting {

struct GroupListForum {
  std::string forum_name;    // field 2
  std::string forum_number;  // field 3
};

// The first line whose field 3 equals `forum_number`. An empty number matches nothing.
std::optional<GroupListForum> FindForumByNumber(std::string_view group_list_text,
                                                std::string_view forum_number);

// The first line whose field 1 equals `newsgroup`. An empty newsgroup matches nothing.
std::optional<GroupListForum> FindForumByNewsgroup(std::string_view group_list_text,
                                                   std::string_view newsgroup);

}  // namespace quorix::posting
