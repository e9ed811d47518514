#include "console/screen.h"

#include <gtest/gtest.h>

#include <string>

#include "console/console_test_support.h"

namespace quorix::console {
namespace {

using testing::CellText;
using testing::RowText;

struct ScreenFixture {
  explicit ScreenFixture(int rows = 25, int columns = 80, int screen_lines = 25)
      : console(rows, columns, false) {
    env.screen_lines = screen_lines;
  }
  platform::HeadlessConsole console;
  run::Environment env;
  Screen screen{console, env};
};

const std::string kBlankRow(80, ' ');

TEST(PutText, EmptyTextChangesNothing) {
  ScreenFixture f;
  const auto before = f.console.cells();
  f.screen.PutText(3, 5, "", 0x1F);
  EXPECT_EQ(f.console.cells(), before);
}

TEST(PutText, VisibleAtOnceWithoutUpdate) {
  ScreenFixture f;
  f.screen.PutText(2, 3, "abc", 0x1E);
  EXPECT_EQ(CellText(f.console, 2, 1, 6), "  abc ");
  EXPECT_EQ(testing::AttributeAt(f.console, 2, 3), 0x1E);
  EXPECT_EQ(testing::AttributeAt(f.console, 2, 6), 7);
}

TEST(PutText, LongTextContinuesInNextRow) {
  ScreenFixture f;
  f.screen.PutText(3, 77, "0123456789", 7);
  EXPECT_EQ(CellText(f.console, 3, 77, 4), "0123");
  EXPECT_EQ(CellText(f.console, 4, 1, 7), "456789 ");
}

TEST(PutText, CellsPastTheEndAreDropped) {
  ScreenFixture f;
  f.screen.PutText(25, 75, "0123456789", 7);
  EXPECT_EQ(CellText(f.console, 25, 75, 6), "012345");
  EXPECT_EQ(RowText(f.console, 1), kBlankRow);  // nothing wrapped round
  EXPECT_EQ(f.console.cells().size(), 25u * 80u);
}

TEST(PutText, PositionsOutsideTheGridWriteOnlyWhatLandsInside) {
  ScreenFixture f;
  f.screen.PutText(26, 1, "below", 7);
  f.screen.PutText(-3, 1, "above", 7);
  f.screen.PutText(1, -2, "abcdef", 7);  // starts three cells before row 1
  for (int row = 2; row <= 25; ++row) EXPECT_EQ(RowText(f.console, row), kBlankRow);
  EXPECT_EQ(CellText(f.console, 1, 1, 4), "def ");
}

TEST(PutText, TextOfAWholeScreenAndMoreIsCut) {
  ScreenFixture f;
  f.screen.PutText(1, 1, std::string(100000, 'z'), 7);
  EXPECT_EQ(RowText(f.console, 25), std::string(80, 'z'));
}

TEST(ScreenUpdate, NothingVisibleUntilEnd) {
  ScreenFixture f;
  f.screen.BeginScreenUpdate();
  f.screen.PutText(1, 1, "hidden", 7);
  EXPECT_EQ(RowText(f.console, 1), kBlankRow);
  f.screen.EndScreenUpdate();
  EXPECT_EQ(CellText(f.console, 1, 1, 6), "hidden");
}

TEST(ScreenUpdate, SecondBeginKeepsTheFirstCopy) {
  ScreenFixture f;
  f.screen.BeginScreenUpdate();
  f.screen.PutText(1, 1, "one", 7);
  f.screen.BeginScreenUpdate();
  f.screen.PutText(1, 5, "two", 7);
  f.screen.EndScreenUpdate();
  EXPECT_EQ(CellText(f.console, 1, 1, 7), "one two");
  f.screen.EndScreenUpdate();  // nothing open: nothing happens
  EXPECT_FALSE(f.screen.UpdateOpen());
}

TEST(DrawFrame, WidthOrHeightTwoDrawsNothing) {
  ScreenFixture f;
  const auto before = f.console.cells();
  f.screen.DrawFrame(2, 2, 5, 2, 7);
  f.screen.DrawFrame(2, 2, 2, 5, 7);
  f.screen.DrawFrame(2, 2, 0, -4, 7);
  EXPECT_EQ(f.console.cells(), before);
}

TEST(DrawFrame, ThreeByThreeHasOneBlankInside) {
  ScreenFixture f;
  f.screen.PutText(3, 3, "#", 7);
  f.screen.DrawFrame(2, 2, 3, 3, 0x0E);
  EXPECT_EQ(CellText(f.console, 2, 1, 5), " \xDA\xC4\xBF ");
  EXPECT_EQ(CellText(f.console, 3, 1, 5), " \xB3 \xB3 ");
  EXPECT_EQ(CellText(f.console, 4, 1, 5), " \xC0\xC4\xD9 ");
  EXPECT_EQ(testing::AttributeAt(f.console, 3, 3), 0x0E);
  EXPECT_EQ(RowText(f.console, 5), kBlankRow);
}

TEST(DrawFrame, CoversColumnsFromColumnToColumnPlusWidthMinusOne) {
  ScreenFixture f;
  f.screen.DrawFrame(7, 6, 13, 70, 7);
  EXPECT_EQ(CellText(f.console, 7, 5, 3), " \xDA\xC4");
  EXPECT_EQ(CellText(f.console, 7, 74, 3), "\xC4\xBF ");
  EXPECT_EQ(CellText(f.console, 12, 75, 1), "\xB3");
  EXPECT_EQ(CellText(f.console, 19, 6, 1), "\xC0");
  EXPECT_EQ(CellText(f.console, 19, 75, 1), "\xD9");
  EXPECT_EQ(RowText(f.console, 6), kBlankRow);
  EXPECT_EQ(RowText(f.console, 20), kBlankRow);
}

TEST(DrawFrame, PartsBelowTheGridAreDropped) {
  ScreenFixture f;
  f.screen.DrawFrame(20, 1, 1000000000, 10, 7);
  EXPECT_EQ(CellText(f.console, 20, 1, 10), "\xDA\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xBF");
  EXPECT_EQ(CellText(f.console, 25, 1, 10), "\xB3        \xB3");
}

TEST(DrawFrame, GoesIntoTheOpenUpdate) {
  ScreenFixture f;
  f.screen.BeginScreenUpdate();
  f.screen.DrawFrame(1, 1, 3, 3, 7);
  EXPECT_EQ(RowText(f.console, 1), kBlankRow);
  f.screen.EndScreenUpdate();
  EXPECT_EQ(CellText(f.console, 1, 1, 3), "\xDA\xC4\xBF");
}

TEST(ScreenStack, PopRestoresContentsAndCursor) {
  ScreenFixture f;
  f.screen.PutText(5, 1, "user's screen", 0x17);
  f.console.SetCursor({5, 13, 50, true});
  f.screen.PushScreen();
  EXPECT_EQ(f.screen.depth(), 1);
  f.screen.PutText(5, 1, "status screen", 0x4F);
  f.console.SetCursor({0, 0, 25, false});
  f.screen.PopScreen();
  EXPECT_EQ(f.screen.depth(), 0);
  EXPECT_EQ(CellText(f.console, 5, 1, 13), "user's screen");
  EXPECT_EQ(testing::AttributeAt(f.console, 5, 1), 0x17);
  const platform::CursorState cursor = f.console.GetCursor();
  EXPECT_EQ(cursor.row, 5);
  EXPECT_EQ(cursor.column, 13);
  EXPECT_EQ(cursor.size_percent, 50);
  EXPECT_TRUE(cursor.visible);
}

TEST(ScreenStack, PushLeavesTheCursorAlone) {
  ScreenFixture f;
  f.console.SetCursor({3, 4, 25, true});
  f.screen.PushScreen();
  EXPECT_EQ(f.console.GetCursor().row, 3);
  EXPECT_EQ(f.console.GetCursor().column, 4);
}

TEST(ScreenStack, HoldsFifteenEntriesAndPopOfEmptyDoesNothing) {
  ScreenFixture f;
  f.screen.PopScreen();
  EXPECT_EQ(f.screen.depth(), 0);
  for (int i = 1; i <= 16; ++i) {
    f.screen.PutText(1, 1, std::string(1, static_cast<char>('A' + i - 1)), 7);
    f.screen.PushScreen();
  }
  EXPECT_EQ(f.screen.depth(), 15);
  f.screen.PopScreen();  // the 15th push, made while "O" was shown
  EXPECT_EQ(CellText(f.console, 1, 1, 1), "O");
}

TEST(ScreenStack, Shell25SavesAndRestoresTwentyFiveRows) {
  ScreenFixture f(50, 80, 50);
  f.env.shell25 = 1;
  f.screen.PutText(30, 1, "row thirty", 7);
  f.screen.PushScreen();
  EXPECT_EQ(f.env.screen_lines, 25);
  f.env.screen_lines = 50;  // the display changes it during the run
  f.screen.PutText(30, 1, "changed   ", 7);
  f.screen.PutText(1, 1, "changed", 7);
  f.screen.PopScreen();
  EXPECT_EQ(f.env.screen_lines, 25);
  EXPECT_EQ(CellText(f.console, 1, 1, 7), "       ");
  EXPECT_EQ(CellText(f.console, 30, 1, 10), "changed   ");  // row 30 was not saved
}

TEST(ScreenGeometry, UnsetScreenLinesTakesTheConsoleRows) {
  ScreenFixture f(30, 100, 0);
  EXPECT_EQ(f.screen.Lines(), 30);
  EXPECT_EQ(f.screen.Columns(), 100);
  const ScreenCopy copy = f.screen.SnapshotScreen();
  EXPECT_EQ(copy.rows, 30);
  EXPECT_EQ(copy.cells.size(), 3000u);
}

TEST(ScreenGeometry, RowsTheConsoleLacksAreBlankAndClippedOnWrite) {
  ScreenFixture f(10, 20, 12);
  f.screen.PutText(10, 1, "last", 7);
  f.screen.PutText(12, 1, "gone", 7);
  const ScreenCopy copy = f.screen.SnapshotScreen();
  ASSERT_EQ(copy.cells.size(), 240u);
  EXPECT_EQ(testing::GridText(copy.cells, 20, 10, 1, 4), "last");
  EXPECT_EQ(testing::GridText(copy.cells, 20, 12, 1, 4), "    ");
}

// A console that fails every read and write.
class FailingConsole : public platform::HeadlessConsole {
 public:
  FailingConsole() : HeadlessConsole(25, 80, false) {}
  bool ReadCells(std::vector<platform::Cell>*) override { return false; }
  bool WriteCells(const std::vector<platform::Cell>&, int, int) override { return false; }
};

TEST(ScreenErrors, FailedConsoleOperationLeavesAnErrorNumber) {
  FailingConsole console;
  run::Environment env;
  env.screen_lines = 25;
  Screen screen(console, env);
  EXPECT_EQ(screen.TakeError(), 0);
  screen.PutText(1, 1, "x", 7);
  EXPECT_EQ(screen.TakeError(), kConsoleIoError);
  EXPECT_EQ(screen.TakeError(), 0);
}

}  // namespace
}  // namespace quorix::console
