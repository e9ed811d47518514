#include <vector>

#include <gtest/gtest.h>

#include "platform/console.h"

namespace quorix::platform {
namespace {

std::vector<Cell> Grid(int rows, int columns, char first) {
  std::vector<Cell> cells(static_cast<size_t>(rows * columns));
  for (size_t i = 0; i < cells.size(); ++i) {
    cells[i].character = static_cast<uint8_t>(first + i);
    cells[i].attribute = 0x1F;
  }
  return cells;
}

TEST(HeadlessConsole, StartsBlankWithAttributeSeven) {
  HeadlessConsole console(3, 4, false);
  EXPECT_EQ(console.Rows(), 3);
  EXPECT_EQ(console.Columns(), 4);
  std::vector<Cell> cells;
  ASSERT_TRUE(console.ReadCells(&cells));
  ASSERT_EQ(cells.size(), 12u);
  for (const Cell& cell : cells) EXPECT_EQ(cell, (Cell{' ', 7}));
}

TEST(HeadlessConsole, WriteCellsClipsToTheGrid) {
  HeadlessConsole console(2, 3, false);
  ASSERT_TRUE(console.WriteCells(Grid(3, 4, 'a'), 3, 4));  // a b c d / e f g h / ...
  std::vector<Cell> cells;
  console.ReadCells(&cells);
  std::string text;
  for (const Cell& cell : cells) text.push_back(static_cast<char>(cell.character));
  EXPECT_EQ(text, "abcefg");
  ASSERT_TRUE(console.WriteCells(Grid(1, 2, 'x'), 1, 2));
  console.ReadCells(&cells);
  text.clear();
  for (const Cell& cell : cells) text.push_back(static_cast<char>(cell.character));
  EXPECT_EQ(text, "xycefg");
  EXPECT_FALSE(console.WriteCells(Grid(1, 2, 'x'), 2, 2));  // fewer cells than claimed
}

TEST(HeadlessConsole, ResizeKeepsWhatFitsUnlessRefused) {
  HeadlessConsole console(2, 2, false);
  console.WriteCells(Grid(2, 2, 'a'), 2, 2);
  ASSERT_TRUE(console.Resize(3, 1));
  std::vector<Cell> cells;
  console.ReadCells(&cells);
  ASSERT_EQ(cells.size(), 3u);
  EXPECT_EQ(cells[0].character, 'a');
  EXPECT_EQ(cells[1].character, 'c');
  EXPECT_EQ(cells[2], (Cell{' ', 7}));
  EXPECT_FALSE(console.Resize(0, 5));
  console.set_resizable(false);
  EXPECT_FALSE(console.Resize(25, 80));
  EXPECT_TRUE(console.Resize(3, 1));
  EXPECT_EQ(console.Rows(), 3);
}

TEST(HeadlessConsole, KeysTitleCursorAndPrintedLines) {
  HeadlessConsole console(25, 80, false);
  EXPECT_EQ(console.ReadKey(), kNoKey);
  console.QueueKey(kKeyEscape);
  console.QueueKey(kKeyAltX);
  EXPECT_EQ(console.ReadKey(), kKeyEscape);
  console.QueueKey('7');
  console.FlushInput();
  EXPECT_EQ(console.ReadKey(), kNoKey);
  console.SetTitle("QUORIX v0.23g");
  EXPECT_EQ(console.title(), "QUORIX v0.23g");
  console.SetCursor(CursorState{4, 9, 100, false});
  EXPECT_EQ(console.GetCursor().column, 9);
  EXPECT_FALSE(console.GetCursor().visible);
  console.PrintLine("one");
  console.PrintLine("");
  EXPECT_EQ(console.printed(), "one\n\n");
}

TEST(OpenProcessConsole, GivesAConsoleOfStandardSize) {
  auto console = OpenProcessConsole();
  ASSERT_NE(console, nullptr);
  EXPECT_EQ(console->Rows(), 25);
  EXPECT_EQ(console->Columns(), 80);
}

}  // namespace
}  // namespace quorix::platform
