// The group list as the scan driver walks it: the text cleaned line by line,
// the entries taken apart, and the normalised text written back. Pure
// functions of the text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorix::harvest {

struct GroupEntry {
  std::string newsgroup;   // field 1, blanks around it removed
  std::string forum_name;  // field 2, blanks around it removed ("+" for each blank)
  int forum_number = 0;    // field 3, leading number
  int days = 0;            // field 4, leading number
};

// The file text prepared for the walk: CR LF appended when it does not end
// so, every CR removed, each pair of adjacent blanks made one (one pass).
std::string CleanGroupListText(std::string_view file_text);

// The lines of a cleaned text (n LF characters give n + 1 lines, the last empty).
std::vector<std::string_view> GroupListLines(std::string_view cleaned_text);

// An entry line begins with an ASCII letter or digit.
bool IsGroupEntry(std::string_view line);
GroupEntry ParseGroupEntry(std::string_view line);

// Every line followed by CR LF, then each CR LF CR LF made one CR LF (one pass).
std::string RebuildGroupListText(const std::vector<std::string_view>& lines);

// The whole normalisation: what the scan writes back for `file_text`.
std::string NormaliseGroupList(std::string_view file_text);

}  // namespace quorix::harvest
