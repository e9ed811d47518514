// The headless console: a memory grid that is never shown. Printed lines go
// to standard output unless echo is off (tests switch it off).
#include <algorithm>
#include <cstdio>

#include "platform/console.h"

namespace quorix::platform {
namespace {

constexpr int kMaxDimension = 1000;

bool ValidSize(int rows, int columns) {
  return rows > 0 && columns > 0 && rows <= kMaxDimension && columns <= kMaxDimension;
}

// Nowhere to print (a closed output) is no error: the line is kept in
// printed_ only. Flushed at once, so that the lines come out in order with
// whatever else the process writes.
void WriteToStandardOutput(std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

HeadlessConsole::HeadlessConsole(int rows, int columns, bool echo_lines)
    : rows_(ValidSize(rows, columns) ? rows : 25),
      columns_(ValidSize(rows, columns) ? columns : 80),
      echo_lines_(echo_lines),
      cells_(static_cast<size_t>(rows_) * static_cast<size_t>(columns_)) {}

bool HeadlessConsole::ReadCells(std::vector<Cell>* cells) {
  *cells = cells_;
  return true;
}

bool HeadlessConsole::WriteCells(const std::vector<Cell>& cells, int rows, int columns) {
  if (rows < 0 || columns < 0 ||
      cells.size() < static_cast<size_t>(rows) * static_cast<size_t>(columns)) {
    return false;
  }
  const int copy_rows = std::min(rows, rows_);
  const int copy_columns = std::min(columns, columns_);
  for (int row = 0; row < copy_rows; ++row) {
    const auto from = cells.begin() + static_cast<ptrdiff_t>(row) * columns;
    std::copy(from, from + copy_columns, cells_.begin() + static_cast<ptrdiff_t>(row) * columns_);
  }
  return true;
}

void HeadlessConsole::SetTitle(std::string_view title) { title_ = std::string(title); }

int HeadlessConsole::ReadKey() {
  if (keys_.empty()) return kNoKey;
  const int key = keys_.front();
  keys_.erase(keys_.begin());
  return key;
}

// Keeps the cells that fit into the new size; new cells are blank.
bool HeadlessConsole::Resize(int rows, int columns) {
  if (rows == rows_ && columns == columns_) return true;
  if (!resizable_ || !ValidSize(rows, columns)) return false;
  std::vector<Cell> resized(static_cast<size_t>(rows) * static_cast<size_t>(columns));
  const int copy_rows = std::min(rows, rows_);
  const int copy_columns = std::min(columns, columns_);
  for (int row = 0; row < copy_rows; ++row) {
    const auto from = cells_.begin() + static_cast<ptrdiff_t>(row) * columns_;
    std::copy(from, from + copy_columns, resized.begin() + static_cast<ptrdiff_t>(row) * columns);
  }
  cells_ = std::move(resized);
  rows_ = rows;
  columns_ = columns;
  return true;
}

void HeadlessConsole::PrintLine(std::string_view text) {
  std::string line;
  line.reserve(text.size() + 1);
  line.append(text);
  line.push_back('\n');
  printed_ += line;
  if (echo_lines_) WriteToStandardOutput(line);
}

}  // namespace quorix::platform
