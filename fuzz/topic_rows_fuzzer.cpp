// The topic row readers of both engines on one list page: as many entries as
// the page has complete rows, each a link, "," and a marker taken from single
// lines of its row; and the row line helpers they stand on.
//
// Input: web path, list page; separated by 0x1E.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "harvest/topic_rows.h"

namespace {

namespace harvest = quorix::harvest;

// Complete rows: from each start text to the next end text after it.
size_t CountRows(std::string_view page, std::string_view start_text, std::string_view end_text) {
  size_t rows = 0;
  size_t from = 0;
  for (;;) {
    const size_t start = page.find(start_text, from);
    if (start == std::string_view::npos) return rows;
    const size_t end = page.find(end_text, start + start_text.size());
    if (end == std::string_view::npos) return rows;
    ++rows;
    from = end;
  }
}

void CheckEntries(const harvest::TopicTable& table, size_t added, size_t expected_rows) {
  QUORIX_FUZZ_CHECK(added == table.size());
  QUORIX_FUZZ_CHECK(added == expected_rows, std::to_string(expected_rows), std::to_string(added));
  for (const std::string& entry : table) {
    // Link and marker each come from one line of the row.
    QUORIX_FUZZ_CHECK(entry.find('\n') == std::string::npos, "no LF", entry);
    QUORIX_FUZZ_CHECK(entry.find(',') != std::string::npos, "a comma", entry);
  }
}

void CheckRowLines(std::string_view row) {
  const size_t count = harvest::RowLineCount(row);
  std::string joined;
  for (size_t n = 1; n <= count; ++n) {
    if (n > 1) joined.push_back('\n');
    joined.append(harvest::RowLine(row, n));
  }
  QUORIX_FUZZ_CHECK(joined == row, row, joined);
  QUORIX_FUZZ_CHECK(harvest::RowLine(row, 0).empty());
  QUORIX_FUZZ_CHECK(harvest::RowLine(row, count + 1).empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto parts = quorix::fuzz::SplitParts(quorix::fuzz::AsText(data, size), 2);
  const std::string_view web_path = parts[0];
  const std::string_view page = parts[1];

  harvest::TopicTable ubb;
  const size_t ubb_added = harvest::ParseUbbTopicRows(page, web_path, ubb);
  CheckEntries(ubb, ubb_added, CountRows(page, harvest::kUbbRowMarker, harvest::kUbbRowEnd));

  harvest::TopicTable threads;
  const size_t threads_added = harvest::ParseThreadsTopicRows(page, threads);
  CheckEntries(threads, threads_added,
               CountRows(page, harvest::kThreadsRowStart, harvest::kThreadsRowEnd));
  for (const std::string& entry : threads) {
    QUORIX_FUZZ_CHECK(entry.rfind(harvest::kThreadsRowStart, 0) == 0, harvest::kThreadsRowStart,
                      entry);
  }

  CheckRowLines(page.substr(0, 2048));
  return 0;
}
