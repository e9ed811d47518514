// Reading topic entries out of the rows of one topic list page. Pure
// functions: the page goes in, entries are appended to the table.
#pragma once

#include <cstddef>
#include <string_view>

#include "harvest/topic_table.h"

namespace quorix::harvest {

// The cell that opens every topic row of a UBB topic list.
inline constexpr std::string_view kUbbRowMarker =
    "<TD bgcolor=\"#f7f7f7\"><FONT SIZE=\"2\" FACE=\"Verdana, Arial\">";
inline constexpr std::string_view kUbbRowEnd = "</td></tr>";
// The link that opens every topic row of a UBBThreads topic list.
inline constexpr std::string_view kThreadsRowStart = "/ubbthreads/showflat.php";
inline constexpr std::string_view kThreadsRowEnd = "</tr>";

// UBB rows: from the row marker up to the next "</td></tr>". Line 2 of the
// row carries the topic link (the quoted value after "<A HREF="), taken from
// the character before `web_path` on; the fifth line from the end carries the
// change marker between its first ">" and the next "</". A link without
// `web_path` is recorded whole. A row without its end tag ends the page and
// is not recorded. Returns the number of entries appended.
size_t ParseUbbTopicRows(std::string_view page, std::string_view web_path, TopicTable& table);

// UBBThreads rows: from "/ubbthreads/showflat.php" up to the next "</tr>".
// Line 1 (with "&amp;" read as "&") up to "&page" is the link; line 13 (with
// "&nbsp;" read as a blank, trimmed) is the change marker. A first line
// without "&page" gives the link up to the end of its attribute value. A row
// without its end tag ends the page and is not recorded. Returns the number
// of entries appended.
size_t ParseThreadsTopicRows(std::string_view page, TopicTable& table);

// Line `number` (counted from 1) of `row` split at LF; empty when missing.
std::string_view RowLine(std::string_view row, size_t number);
// Number of lines of `row` split at LF (n LF characters give n + 1 lines).
size_t RowLineCount(std::string_view row);

}  // namespace quorix::harvest
