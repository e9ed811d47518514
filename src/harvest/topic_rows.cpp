#include "harvest/topic_rows.h"

#include <algorithm>
#include <string>

#include "text/text.h"

namespace quorix::harvest {

namespace {

constexpr std::string_view kHrefStart = "<A HREF=";
constexpr size_t kUbbMarkerLineFromEnd = 4;  // line n - 4 of an n-line row
constexpr size_t kThreadsMarkerLine = 13;

// The quoted value after "<A HREF=": from 9 characters after its start (past
// the opening quote) up to the character before the next ">" (the closing
// quote), exclusive. Without a ">" the value runs to the end of the line.
std::string_view HrefValue(std::string_view line) {
  const size_t href = line.find(kHrefStart);
  if (href == std::string_view::npos) return {};
  const size_t value = href + kHrefStart.size() + 1;
  if (value >= line.size()) return {};
  const size_t close = line.find('>', href);
  if (close == std::string_view::npos) return line.substr(value);
  if (close <= value + 1) return {};
  return line.substr(value, close - 1 - value);
}

// The server path of a UBB link: from the "/" before the first `web_path` on.
std::string_view UbbServerPath(std::string_view link, std::string_view web_path) {
  const size_t at = link.find(web_path);
  if (at == std::string_view::npos) return link;
  return link.substr(at > 0 ? at - 1 : 0);
}

// The text between the first ">" and the next "</" (to the end without one).
std::string_view CellText(std::string_view line) {
  const size_t open = line.find('>');
  if (open == std::string_view::npos) return {};
  const size_t close = line.find("</", open + 1);
  if (close == std::string_view::npos) return line.substr(open + 1);
  return line.substr(open + 1, close - open - 1);
}

std::string UbbEntry(std::string_view row, std::string_view web_path) {
  const std::string_view link = UbbServerPath(HrefValue(RowLine(row, 2)), web_path);
  const size_t lines = RowLineCount(row);
  const std::string_view marker = lines > kUbbMarkerLineFromEnd
                                      ? CellText(RowLine(row, lines - kUbbMarkerLineFromEnd))
                                      : std::string_view();
  std::string entry;
  entry.reserve(link.size() + 1 + marker.size());
  entry.append(link).append(",").append(marker);
  return entry;
}

std::string ThreadsEntry(std::string_view row) {
  const std::string first_line = text::ReplaceAll(RowLine(row, 1), "&amp;", "&");
  const size_t page_at = first_line.find("&page");
  // Without "&page" the link ends where its attribute value ends.
  const size_t link_end =
      page_at != std::string::npos ? page_at : first_line.find_first_of("\"'> \t\r");
  const std::string_view link = std::string_view(first_line).substr(0, link_end);
  const std::string marker_line = text::ReplaceAll(RowLine(row, kThreadsMarkerLine), "&nbsp;", " ");
  const std::string_view marker = text::TrimBlanks(marker_line);
  std::string entry;
  entry.reserve(link.size() + 1 + marker.size());
  entry.append(link).append(",").append(marker);
  return entry;
}

}  // namespace

std::string_view RowLine(std::string_view row, size_t number) {
  if (number == 0) return {};
  size_t start = 0;
  for (size_t line = 1; line < number; ++line) {
    const size_t feed = row.find('\n', start);
    if (feed == std::string_view::npos) return {};
    start = feed + 1;
  }
  const size_t end = row.find('\n', start);
  return row.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

size_t RowLineCount(std::string_view row) {
  return static_cast<size_t>(std::count(row.begin(), row.end(), '\n')) + 1;
}

size_t ParseUbbTopicRows(std::string_view page, std::string_view web_path, TopicTable& table) {
  size_t added = 0;
  size_t from = 0;
  for (;;) {
    const size_t start = page.find(kUbbRowMarker, from);
    if (start == std::string_view::npos) break;
    const size_t end = page.find(kUbbRowEnd, start + kUbbRowMarker.size());
    if (end == std::string_view::npos) break;
    table.push_back(UbbEntry(page.substr(start, end - start), web_path));
    ++added;
    from = end;
  }
  return added;
}

size_t ParseThreadsTopicRows(std::string_view page, TopicTable& table) {
  size_t added = 0;
  size_t from = 0;
  for (;;) {
    const size_t start = page.find(kThreadsRowStart, from);
    if (start == std::string_view::npos) break;
    const size_t end = page.find(kThreadsRowEnd, start + kThreadsRowStart.size());
    if (end == std::string_view::npos) break;
    table.push_back(ThreadsEntry(page.substr(start, end - start)));
    ++added;
    from = end;
  }
  return added;
}

}  // namespace quorix::harvest
