#include "console/screen.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

namespace quorix::console {
namespace {

constexpr int kShellLines = 25;

// Cells of the whole grid; no grid is larger than the console layer allows,
// but the product is taken in 64 bits all the same.
size_t CellCount(int rows, int columns) {
  if (rows <= 0 || columns <= 0) return 0;
  return static_cast<size_t>(rows) * static_cast<size_t>(columns);
}

}  // namespace

Screen::Screen(platform::Console& console, run::Environment& env) : console_(console), env_(env) {}

int Screen::Lines() const {
  if (env_.screen_lines > 0) return env_.screen_lines;
  return std::max(console_.Rows(), 0);
}

int Screen::Columns() const { return std::max(console_.Columns(), 0); }

ScreenCopy Screen::SnapshotScreen() {
  ScreenCopy copy;
  copy.rows = Lines();
  copy.columns = Columns();
  copy.cells.assign(CellCount(copy.rows, copy.columns), platform::Cell{});

  std::vector<platform::Cell> shown;
  if (!console_.ReadCells(&shown)) {
    error_ = kConsoleIoError;
    return copy;
  }
  // The console may have changed its size since it was asked: take the rows
  // that fit and leave the rest blank.
  const size_t shown_rows = copy.columns > 0 ? shown.size() / static_cast<size_t>(copy.columns) : 0;
  const size_t rows = std::min(shown_rows, static_cast<size_t>(copy.rows));
  std::copy(shown.begin(), shown.begin() + static_cast<ptrdiff_t>(rows * copy.columns),
            copy.cells.begin());
  return copy;
}

void Screen::WriteScreen(const ScreenCopy& copy) {
  if (copy.cells.size() < CellCount(copy.rows, copy.columns)) return;
  if (!console_.WriteCells(copy.cells, copy.rows, copy.columns)) error_ = kConsoleIoError;
}

void Screen::BeginScreenUpdate() {
  if (!buffer_) buffer_ = SnapshotScreen();
}

void Screen::EndScreenUpdate() {
  if (!buffer_) return;
  WriteScreen(*buffer_);
  buffer_.reset();
}

template <typename Drawing>
void Screen::ApplyDrawing(Drawing&& drawing) {
  if (buffer_) {
    drawing(*buffer_);
    return;
  }
  ScreenCopy copy = SnapshotScreen();
  drawing(copy);
  WriteScreen(copy);
}

// The first cell is at offset (row - 1) * columns + (column - 1) of the copy;
// every byte of the text takes the next cell. Offsets outside the copy are
// skipped without touching the rest.
void Screen::PutCells(ScreenCopy& copy, int row, int column, std::string_view text,
                      uint16_t attribute) {
  const int64_t total = static_cast<int64_t>(copy.cells.size());
  const int64_t start =
      (static_cast<int64_t>(row) - 1) * copy.columns + (static_cast<int64_t>(column) - 1);
  const int64_t length = static_cast<int64_t>(text.size());
  const int64_t first = std::max<int64_t>(0, -start);
  const int64_t last = std::min<int64_t>(length, total - start);  // one past
  for (int64_t i = first; i < last; ++i) {
    platform::Cell& cell = copy.cells[static_cast<size_t>(start + i)];
    cell.character = static_cast<uint8_t>(text[static_cast<size_t>(i)]);
    cell.attribute = attribute;
  }
}

void Screen::PutText(int row, int column, std::string_view text, uint16_t attribute) {
  if (text.empty()) return;
  ApplyDrawing([&](ScreenCopy& copy) { PutCells(copy, row, column, text, attribute); });
}

void Screen::DrawFrame(int row, int column, int height, int width, uint16_t attribute) {
  if (width - 2 <= 0 || height - 2 <= 0) return;
  const size_t inner = static_cast<size_t>(width - 2);
  std::string top(1, kBoxTopLeft);
  top.append(inner, kBoxHorizontal);
  top.push_back(kBoxTopRight);
  std::string middle(1, kBoxVertical);
  middle.append(inner, ' ');
  middle.push_back(kBoxVertical);
  std::string bottom(1, kBoxBottomLeft);
  bottom.append(inner, kBoxHorizontal);
  bottom.push_back(kBoxBottomRight);

  ApplyDrawing([&](ScreenCopy& copy) {
    const int64_t bottom_row = static_cast<int64_t>(row) + height - 1;
    PutCells(copy, row, column, top, attribute);
    // Only rows that can reach the grid are visited, so a huge height costs
    // nothing: a row far above row 1 ends before the grid starts, and rows
    // below the grid are dropped anyway.
    const int64_t span = static_cast<int64_t>(width) + std::abs(static_cast<int64_t>(column));
    const int64_t reach = span / std::max(copy.columns, 1) + 1;
    const int64_t first = std::max<int64_t>(static_cast<int64_t>(row) + 1, 1 - reach);
    const int64_t last = std::min<int64_t>(bottom_row - 1, copy.rows);
    for (int64_t r = first; r <= last; ++r) {
      PutCells(copy, static_cast<int>(r), column, middle, attribute);
    }
    if (bottom_row <= copy.rows)
      PutCells(copy, static_cast<int>(bottom_row), column, bottom, attribute);
  });
}

void Screen::PushScreen() {
  if (env_.shell25 == 1) env_.screen_lines = kShellLines;
  if (depth() >= kStackLimit) return;
  SavedScreen saved;
  saved.cursor = console_.GetCursor();
  saved.copy = SnapshotScreen();
  stack_.push_back(std::move(saved));
}

void Screen::PopScreen() {
  if (stack_.empty()) return;
  if (env_.shell25 == 1) env_.screen_lines = kShellLines;
  SavedScreen saved = std::move(stack_.back());
  stack_.pop_back();
  WriteScreen(saved.copy);
  console_.SetCursor(saved.cursor);
}

int Screen::TakeError() { return std::exchange(error_, 0); }

}  // namespace quorix::console
