#include "console/status_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/console_test_support.h"

namespace quorix::console {
namespace {

using testing::CellText;

struct LayoutCase {
  int screen_lines;
  int console_rows;
  int fetch_threads;
  int top;
  int panels;
};

TEST(ComputeLayout, PanelRuleByScreenLines) {
  const LayoutCase cases[] = {
      {25, 25, 1, 7, 1},                        // frame rows 7..19
      {25, 25, 2, 5, 2},    {25, 25, 3, 5, 2},  // slot 3 not shown
      {25, 25, 8, 5, 2},    {32, 32, 1, 11, 1}, {33, 33, 4, 9, 3},
      {35, 35, 3, 10, 3},   {36, 36, 5, 8, 4},  // T = 11 - 4 + 1
      {39, 39, 2, 11, 2},   {40, 40, 6, 8, 5},  // T = 13 - 5
      {43, 43, 1, 13, 1},   {44, 44, 7, 9, 6},  {46, 46, 3, 13, 3},
      {47, 47, 8, 8, 8},    {50, 50, 8, 10, 8},  // frame rows 10..50
      {60, 60, 8, 11, 8},                        // T = 23 - 8 - 4
      {55, 55, 1, 20, 2},                        // an unusual height: two fetch panels always
      {100, 100, 8, 43, 2}, {0, 24, 2, 5, 2},    // ScreenLines not configured: the console's height
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.screen_lines << " lines, " << c.fetch_threads << " threads");
    const StatusLayout layout =
        ComputeLayout(c.screen_lines, c.console_rows, 80, c.fetch_threads, nullptr);
    EXPECT_EQ(layout.top, c.top);
    EXPECT_EQ(layout.panels, c.panels);
    EXPECT_TRUE(layout.problems.empty());
  }
}

TEST(ComputeLayout, FrameSpansTheEdgeCaseRows) {
  StatusLayout one = ComputeLayout(25, 25, 80, 1, nullptr);
  EXPECT_EQ(one.top, 7);
  EXPECT_EQ(one.top + one.FrameHeight() - 1, 19);
  StatusLayout eight = ComputeLayout(50, 50, 80, 8, nullptr);
  EXPECT_EQ(eight.top, 10);
  EXPECT_EQ(eight.top + eight.FrameHeight() - 1, 50);
}

TEST(ComputeLayout, ConsoleThatCannotBeResized) {
  std::vector<std::pair<int, int>> requests;
  const StatusLayout layout = ComputeLayout(50, 43, 80, 1, [&](int rows, int columns) {
    requests.emplace_back(rows, columns);
    return 43;
  });
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0], std::make_pair(50, 80));
  ASSERT_EQ(layout.problems.size(), 2u);
  EXPECT_EQ(layout.problems[0], "Reseting Console 50/80");
  EXPECT_EQ(layout.problems[1], "Wrong Screen-Settings between XP and Console? 50/43");
  EXPECT_EQ(layout.screen_lines, 43);
  EXPECT_EQ(layout.console_rows, 43);
  EXPECT_EQ(layout.top, 4);  // 5 - P
  EXPECT_EQ(layout.panels, 1);
}

TEST(ComputeLayout, ConsoleResizedToTheConfiguredHeight) {
  const StatusLayout layout = ComputeLayout(50, 25, 80, 8, [](int rows, int) { return rows; });
  ASSERT_EQ(layout.problems.size(), 1u);
  EXPECT_EQ(layout.problems[0], "Reseting Console 50/80");
  EXPECT_EQ(layout.screen_lines, 50);
  EXPECT_EQ(layout.top, 10);
}

TEST(ComputeLayout, ConsoleTallerThanConfiguredKeepsTheConfiguredLines) {
  const StatusLayout layout = ComputeLayout(25, 50, 80, 1, [](int, int) { return 50; });
  ASSERT_EQ(layout.problems.size(), 2u);
  EXPECT_EQ(layout.problems[1], "Wrong Screen-Settings between XP and Console? 25/50");
  EXPECT_EQ(layout.screen_lines, 25);
  EXPECT_EQ(layout.console_rows, 25);
  EXPECT_EQ(layout.top, 7);  // 5 + 2 for one fetch thread
}

TEST(ComputeLayout, PanelRowsAndSlots) {
  const StatusLayout layout = ComputeLayout(25, 25, 80, 3, nullptr);
  EXPECT_EQ(layout.PanelRow(1), 8);
  EXPECT_EQ(layout.PanelRow(3), 16);
  EXPECT_EQ(layout.ThreadsRow(), 20);
  EXPECT_EQ(layout.SlotOfPanel(2, 4), 2);
  EXPECT_EQ(layout.SlotOfPanel(3, 4), 4);  // the posting panel
}

TEST(FitText, PadsOrCuts) {
  EXPECT_EQ(FitText("abc", 5), "abc  ");
  EXPECT_EQ(FitText("abcdef", 3), "abc");
  EXPECT_EQ(FitText("abc", 0), "");
  EXPECT_EQ(FitText("abc", -4), "");
  EXPECT_EQ(FitText("", 2), "  ");
}

TEST(TitleText, VariantTail) {
  EXPECT_EQ(TitleText("v0.23g", true), "Korvendale-Webforums v0.23g" + std::string(22, ' '));
  EXPECT_EQ(TitleText("v0.23g", false), "Korvendale-Webforums v0.23g      (OpenXP Support)");
}

struct DrawFixture {
  explicit DrawFixture(int rows = 25, int columns = 80, int fetch_threads = 1)
      : console(rows, columns, false), r(console), screen(console, r.run.env) {
    r.run.env.screen_lines = rows;
    r.run.fetch_thread_count = fetch_threads;
    r.run.slot_count = fetch_threads + 1;
    layout = ComputeLayout(rows, rows, columns, fetch_threads, nullptr);
  }
  platform::HeadlessConsole console;
  testing::ConsoleRun r;
  Screen screen;
  StatusLayout layout;
  DisplayColours colours{3, 14, 12};
};

TEST(DrawStaticLayout, FrameSeparatorsAndLabelsAt80Columns) {
  DrawFixture f;
  DrawStaticLayout(f.screen, f.layout, f.colours);
  const std::string rule(68, '\xC4');
  EXPECT_EQ(CellText(f.console, 7, 6, 70), "\xDA" + rule + "\xBF");
  EXPECT_EQ(CellText(f.console, 9, 6, 70), "\xC3" + rule + "\xB4");
  EXPECT_EQ(CellText(f.console, 10, 8, 12), "Webforum   :");
  EXPECT_EQ(CellText(f.console, 10, 62, 12), "Connect: [ ]");
  EXPECT_EQ(CellText(f.console, 11, 8, 12), "Information:");
  EXPECT_EQ(CellText(f.console, 11, 62, 12), "Errors : [ ]");
  EXPECT_EQ(CellText(f.console, 12, 8, 12), "Sent/Rcvd  :");
  EXPECT_EQ(CellText(f.console, 13, 6, 70), "\xC3" + rule + "\xB4");
  EXPECT_EQ(CellText(f.console, 14, 8, 12), "Webforum   :");  // the posting panel
  EXPECT_EQ(CellText(f.console, 17, 6, 70), "\xC3" + rule + "\xB4");
  EXPECT_EQ(CellText(f.console, 18, 8, 12), "Threads    :");
  EXPECT_EQ(CellText(f.console, 19, 6, 70), "\xC0" + rule + "\xD9");
  EXPECT_EQ(testing::AttributeAt(f.console, 10, 8), 3);
  EXPECT_EQ(testing::AttributeAt(f.console, 19, 75), 3);
}

TEST(DrawValues, PlacesAndWidthsAt80Columns) {
  DrawFixture f;
  run::Slot& slot = f.r.run.slots[1];
  slot.shown_server.Set("forum.example.org" + std::string(50, 'S'));
  slot.activity.Set("Scanning: General" + std::string(200, ' '));
  slot.status.Set(std::string(60, 'y'));
  slot.connections.connected = 1;
  f.r.run.slots[2].error = 1;
  f.r.run.slots[2].shown_server.Set("post.example");
  DrawStaticLayout(f.screen, f.layout, f.colours);
  f.screen.BeginScreenUpdate();
  DrawValues(f.screen, f.layout, f.colours, f.r.run, "01:02:03", std::string(44, '#'));
  f.screen.EndScreenUpdate();

  EXPECT_EQ(CellText(f.console, 8, 66, 8), "01:02:03");
  EXPECT_EQ(CellText(f.console, 10, 20, 42), " forum.example.org" + std::string(23, 'S') + " ");
  EXPECT_EQ(CellText(f.console, 11, 21, 41), "Scanning: General" + std::string(24, ' '));
  EXPECT_EQ(CellText(f.console, 12, 21, 54), std::string(53, 'y') + " ");
  EXPECT_EQ(CellText(f.console, 10, 71, 3), "[x]");
  EXPECT_EQ(CellText(f.console, 11, 71, 3), "[ ]");
  EXPECT_EQ(CellText(f.console, 14, 21, 12), "post.example");
  EXPECT_EQ(CellText(f.console, 14, 71, 3), "[ ]");
  EXPECT_EQ(CellText(f.console, 15, 71, 3), "[x]");
  EXPECT_EQ(CellText(f.console, 18, 20, 2), " 2");
  EXPECT_EQ(CellText(f.console, 18, 29, 46), " " + std::string(44, '#') + " ");
  EXPECT_EQ(testing::AttributeAt(f.console, 10, 21), 14);
  EXPECT_EQ(testing::AttributeAt(f.console, 10, 72), 14);
}

// The "Connect:" field: the mark between the brackets for one connection,
// "connected/connections" over several; back to one, the brackets return in
// the frame's colour.
TEST(DrawValues, ConnectFieldShowsTheSlotsConnections) {
  struct Case {
    int count;
    int connected;
    const char* shown;
  };
  const Case cases[] = {{1, 0, "[ ]"}, {1, 1, "[x]"}, {4, 0, "0/4"}, {4, 3, "3/4"},
                        {8, 8, "8/8"}, {2, 5, "2/2"}, {1, 0, "[ ]"}};
  DrawFixture f;
  DrawStaticLayout(f.screen, f.layout, f.colours);
  run::WorkerConnections& connections = f.r.run.slots[1].connections;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    connections.count = c.count;
    connections.connected = c.connected;
    f.screen.BeginScreenUpdate();
    DrawValues(f.screen, f.layout, f.colours, f.r.run, "00:00:00", "");
    f.screen.EndScreenUpdate();
    EXPECT_EQ(CellText(f.console, 10, 62, 12), std::string("Connect: ") + c.shown);
    EXPECT_EQ(testing::AttributeAt(f.console, 10, 71), c.count > 1 ? 14 : 3);
    EXPECT_EQ(testing::AttributeAt(f.console, 10, 72), 14);
  }
}

TEST(DrawValues, ThreeFetchThreadsOnTwentyFiveLinesShowSlotsOneTwoAndFour) {
  DrawFixture f(25, 80, 3);
  for (int slot = 1; slot <= 4; ++slot) {
    f.r.run.slots[slot].shown_server.Set("server-" + std::to_string(slot));
  }
  DrawStaticLayout(f.screen, f.layout, f.colours);
  f.screen.BeginScreenUpdate();
  DrawValues(f.screen, f.layout, f.colours, f.r.run, "00:00:00", "");
  f.screen.EndScreenUpdate();
  EXPECT_EQ(f.layout.top, 5);
  EXPECT_EQ(CellText(f.console, 8, 21, 8), "server-1");
  EXPECT_EQ(CellText(f.console, 12, 21, 8), "server-2");
  EXPECT_EQ(CellText(f.console, 16, 21, 8), "server-4");
  EXPECT_EQ(CellText(f.console, 20, 20, 2), " 4");
}

TEST(DrawValues, TinyConsoleDrawsWhatFitsWithoutHarm) {
  for (const auto& [rows, columns] : std::vector<std::pair<int, int>>{{5, 10}, {1, 1}, {12, 30}}) {
    DrawFixture f(rows, columns, 8);
    f.r.run.slots[1].shown_server.Set("a server name longer than the console");
    DrawStaticLayout(f.screen, f.layout, f.colours);
    f.screen.BeginScreenUpdate();
    DrawValues(f.screen, f.layout, f.colours, f.r.run, "00:00:00", std::string(44, ' '));
    f.screen.EndScreenUpdate();
    EXPECT_EQ(f.console.cells().size(), static_cast<size_t>(rows * columns));
  }
}

}  // namespace
}  // namespace quorix::console
