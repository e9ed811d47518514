#include "console/status_display.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "console/console_test_support.h"
#include "platform/socket.h"
#include "platform/thread.h"

namespace quorix::console {
namespace {

using testing::CellText;

// A run of the status display on a headless console, driven synchronously:
// the sleeper hook stops the display after a number of cycles.
struct DisplayFixture {
  DisplayFixture(int rows, int columns, int screen_lines, int fetch_threads)
      : console(rows, columns, false), r(console), screen(console, r.run.env) {
    r.run.env.screen_lines = screen_lines;
    r.run.fetch_thread_count = fetch_threads;
    r.run.slot_count = fetch_threads + 1;
    r.SetTime(10, 30, 0);
  }
  // Runs the display for `cycles` key reads (0: lay out and draw once).
  void RunCycles(int cycles) {
    if (cycles == 0) r.run.stop_display = 1;
    r.sleeper.set_on_sleep([this, cycles](int count, int) {
      if (count >= cycles) r.run.stop_display = 1;
    });
    StatusDisplay(r.run, screen);
  }
  int CountLines(const std::string& message) const {
    const std::string text = r.LogText();
    int count = 0;
    for (size_t at = text.find(message); at != std::string::npos; at = text.find(message, at + 1)) {
      ++count;
    }
    return count;
  }

  platform::HeadlessConsole console;
  testing::ConsoleRun r;
  Screen screen;
};

TEST(StatusDisplay, OneFetchThreadOnTwentyFiveLines) {
  DisplayFixture f(25, 80, 25, 1);
  f.r.run.slots[1].shown_server.Set("forum.example");
  f.r.run.slots[1].activity.Set("Scanning: News");
  f.r.run.slots[2].status.Set("Posting Article(s)");
  f.RunCycles(0);

  EXPECT_EQ(CellText(f.console, 7, 6, 1), "\xDA");
  EXPECT_EQ(CellText(f.console, 19, 75, 1), "\xD9");
  EXPECT_EQ(CellText(f.console, 8, 8, 49), "Korvendale-Webforums v0.23g      (OpenXP Support)");
  EXPECT_EQ(CellText(f.console, 8, 66, 8), "00:00:00");
  EXPECT_EQ(CellText(f.console, 10, 21, 13), "forum.example");
  EXPECT_EQ(CellText(f.console, 11, 21, 14), "Scanning: News");
  EXPECT_EQ(CellText(f.console, 16, 21, 18), "Posting Article(s)");
  EXPECT_EQ(CellText(f.console, 18, 8, 14), "Threads    : 2");
  EXPECT_FALSE(f.console.GetCursor().visible);
  EXPECT_TRUE(f.r.Logged("Console Starting ...", log::kDebug));
  EXPECT_TRUE(f.r.Logged("Console: Exit requested", log::kDebug));
  EXPECT_TRUE(f.r.sleeper.sleeps().empty());  // stopped before the first key read
  EXPECT_EQ(f.r.run.stop_display.load(), 1);  // a stop given before the start holds
  EXPECT_DOUBLE_EQ(f.r.run.display_start.load(), 37800);
}

TEST(StatusDisplay, Xp2TitleAndFileColours) {
  DisplayFixture f(25, 80, 25, 1);
  f.r.run.env.is_xp2 = 1;
  f.r.dir.Write("XPOINT.COL", "MAILER=$1F $4E $0A\r\n");
  f.RunCycles(0);
  EXPECT_EQ(CellText(f.console, 8, 8, 49), "Korvendale-Webforums v0.23g" + std::string(22, ' '));
  EXPECT_EQ(testing::AttributeAt(f.console, 7, 6), 0x1F);
  EXPECT_EQ(testing::AttributeAt(f.console, 8, 8), 0x0A);
  EXPECT_EQ(testing::AttributeAt(f.console, 8, 66), 0x4E);
}

TEST(StatusDisplay, EightFetchThreadsOnFiftyLines) {
  DisplayFixture f(50, 80, 50, 8);
  for (int slot = 1; slot <= 9; ++slot) {
    f.r.run.slots[slot].shown_server.Set("host" + std::to_string(slot));
  }
  f.RunCycles(0);
  EXPECT_EQ(CellText(f.console, 10, 6, 1), "\xDA");
  EXPECT_EQ(CellText(f.console, 50, 6, 1), "\xC0");
  EXPECT_EQ(CellText(f.console, 13, 21, 5), "host1");
  EXPECT_EQ(CellText(f.console, 41, 21, 5), "host8");
  EXPECT_EQ(CellText(f.console, 45, 21, 5), "host9");
  EXPECT_EQ(CellText(f.console, 49, 20, 2), " 9");
  EXPECT_EQ(f.CountLines("Reseting"), 0);
}

TEST(StatusDisplay, ConsoleThatCannotTakeTheConfiguredHeight) {
  DisplayFixture f(43, 80, 50, 1);
  f.console.set_resizable(false);
  f.RunCycles(0);
  EXPECT_TRUE(f.r.Logged("Reseting Console 50/80", log::kProblem));
  EXPECT_TRUE(f.r.Logged("Wrong Screen-Settings between XP and Console? 50/43", log::kProblem));
  EXPECT_EQ(f.r.run.env.screen_lines, 43);
  EXPECT_EQ(CellText(f.console, 4, 6, 1), "\xDA");
  EXPECT_EQ(CellText(f.console, 16, 6, 1), "\xC0");
}

TEST(StatusDisplay, ConsoleResizedToTheConfiguredHeight) {
  DisplayFixture f(25, 80, 50, 8);
  f.RunCycles(0);
  EXPECT_TRUE(f.r.Logged("Reseting Console 50/80", log::kProblem));
  EXPECT_EQ(f.CountLines("Wrong Screen-Settings"), 0);
  EXPECT_EQ(f.console.Rows(), 50);
  EXPECT_EQ(CellText(f.console, 50, 6, 1), "\xC0");
}

TEST(StatusDisplay, UnsetScreenLinesUsesTheConsoleHeight) {
  DisplayFixture f(30, 80, 0, 2);
  f.RunCycles(0);
  EXPECT_EQ(f.r.run.env.screen_lines, 30);
  EXPECT_EQ(f.CountLines("Reseting"), 0);
  EXPECT_EQ(CellText(f.console, 8, 6, 1), "\xDA");  // T = 15 - 7
}

TEST(StatusDisplay, ClockRunsFromTheDialUpStartTime) {
  const struct {
    std::string content;
    std::string clock;
  } cases[] = {
      {"36000    ", "00:30:00"},
      {"35999.5\r\n", "00:30:01"},    // rounded up
      {"3600000000000", "00:00:00"},  // only 9 bytes, and no time of day
      {"-5", "00:00:00"},
      {"garbage", "00:00:00"},
      {"", "00:00:00"},
      {"37900", "23:58:20"},  // later than now: since yesterday
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content);
    DisplayFixture f(25, 80, 25, 1);
    f.r.dir.Write("WDIAL.DAT", c.content);
    f.RunCycles(0);
    EXPECT_EQ(CellText(f.console, 8, 66, 8), c.clock);
  }
}

TEST(StatusDisplay, ClockFollowsTheTime) {
  DisplayFixture f(25, 80, 25, 1);
  f.r.sleeper.set_on_sleep([&f](int count, int) {
    f.r.SetTime(10, 30, count);
    if (count == 3) f.r.run.stop_display = 1;
  });
  StatusDisplay(f.r.run, f.screen);
  EXPECT_EQ(CellText(f.console, 8, 66, 8), "00:00:03");
}

// Connections that are not connected yet can be cut all the same.
struct AttachedConnections {
  explicit AttachedConnections(run::Run& run) : run(run) {
    for (int slot = 1; slot <= 3; ++slot) {
      connections.push_back(platform::Connection::Create());
      run.slots[slot].connections.Attach(connections.back().get());
    }
  }
  ~AttachedConnections() {
    for (int slot = 1; slot <= 3; ++slot)
      run.slots[slot].connections.Detach(connections[static_cast<size_t>(slot - 1)].get());
  }
  bool Cut(int slot) const { return connections[static_cast<size_t>(slot - 1)]->Interrupted(); }
  run::Run& run;
  std::vector<std::unique_ptr<platform::Connection>> connections;
};

TEST(StatusKeys, DigitCutsThatSlotOnly) {
  DisplayFixture f(25, 80, 25, 2);
  AttachedConnections connections(f.r.run);
  for (int key : std::vector<int>{'2', '0', 'a', '9', 0x100 + 30}) f.console.QueueKey(key);
  f.RunCycles(6);
  EXPECT_FALSE(connections.Cut(1));
  EXPECT_TRUE(connections.Cut(2));
  EXPECT_FALSE(connections.Cut(3));
  EXPECT_TRUE(f.r.Logged("WebBBS-Connection  2 killed by User", log::kProblem));
  EXPECT_EQ(f.CountLines("killed"), 1);
  EXPECT_EQ(f.r.run.user_exit_requested.load(), 0);
}

TEST(StatusKeys, AltXCutsEverySlot) {
  DisplayFixture f(25, 80, 25, 2);
  AttachedConnections connections(f.r.run);
  f.console.QueueKey(platform::kKeyAltX);
  f.RunCycles(2);
  EXPECT_TRUE(connections.Cut(1));
  EXPECT_TRUE(connections.Cut(2));
  EXPECT_TRUE(connections.Cut(3));
  EXPECT_TRUE(f.r.Logged("All Connections killed by User", log::kProblem));
}

TEST(StatusKeys, EscAsksToStopAndTheDisplayGoesOn) {
  DisplayFixture f(25, 80, 25, 1);
  f.r.run.user_exit_requested = 1;  // left from before: cleared at the start
  f.console.QueueKey('x');
  f.console.QueueKey(platform::kKeyEscape);
  f.r.sleeper.set_on_sleep([&f](int count, int) {
    if (count == 1) {
      EXPECT_EQ(f.r.run.user_exit_requested.load(), 0);
    }
    if (count == 4) f.r.run.stop_display = 1;
  });
  StatusDisplay(f.r.run, f.screen);
  EXPECT_EQ(f.r.run.user_exit_requested.load(), 1);
  EXPECT_EQ(f.r.sleeper.sleeps(), (std::vector<int>{5, 5, 5, 5}));
}

TEST(StatusKeys, DigitOfASlotWithoutConnectionIsLoggedOnly) {
  DisplayFixture f(25, 80, 25, 1);
  HandleStatusKey(f.r.run, '1');
  HandleStatusKey(f.r.run, '2');
  HandleStatusKey(f.r.run, '3');  // SlotCount is 2
  HandleStatusKey(f.r.run, platform::kNoKey);
  EXPECT_TRUE(f.r.Logged("WebBBS-Connection  1 killed by User", log::kProblem));
  EXPECT_TRUE(f.r.Logged("WebBBS-Connection  2 killed by User", log::kProblem));
  EXPECT_EQ(f.CountLines("killed"), 2);
}

// Fails every write, as a terminal that went away does.
class WriteFailingConsole : public platform::HeadlessConsole {
 public:
  WriteFailingConsole() : HeadlessConsole(25, 80, false) {}
  bool WriteCells(const std::vector<platform::Cell>&, int, int) override { return false; }
};

TEST(StatusDisplay, FailingConsoleIsLoggedOnceAndTheDisplayGoesOn) {
  WriteFailingConsole console;
  testing::ConsoleRun r(console);
  r.run.env.screen_lines = 25;
  r.run.fetch_thread_count = 1;
  r.run.slot_count = 2;
  Screen screen(console, r.run.env);
  r.sleeper.set_on_sleep([&r](int count, int) {
    if (count == 20) r.run.stop_display = 1;
  });
  StatusDisplay(r.run, screen);
  const std::string text = r.LogText();
  EXPECT_TRUE(r.Logged("Runtime Error 57", log::kError));
  EXPECT_EQ(text.find("Runtime Error"), text.rfind("Runtime Error"));
  EXPECT_EQ(r.sleeper.sleeps().size(), 20u);
}

TEST(StatusDisplay, ConsoleResizedDuringTheRunIsLaidOutAgain) {
  DisplayFixture f(25, 80, 25, 1);
  f.r.sleeper.set_on_sleep([&f](int count, int) {
    if (count == 2) f.console.Resize(30, 100);
    if (count == 4) f.r.run.stop_display = 1;
  });
  StatusDisplay(f.r.run, f.screen);
  EXPECT_EQ(CellText(f.console, 7, 95, 1), "\xBF");
  EXPECT_EQ(CellText(f.console, 10, 82, 12), "Connect: [ ]");
  EXPECT_EQ(CellText(f.console, 8, 86, 8), "00:00:00");
  EXPECT_EQ(f.CountLines("Reseting"), 0);
}

// A console shared by the display thread and the test thread.
class LockedConsole : public platform::Console {
 private:
  template <typename F>
  auto Locked(F&& f) const {
    std::lock_guard<std::mutex> lock(lock_);
    return f(inner_);
  }
  mutable std::mutex lock_;
  mutable platform::HeadlessConsole inner_{25, 80, false};

 public:
  int Rows() const override {
    return Locked([](platform::HeadlessConsole& c) { return c.Rows(); });
  }
  int Columns() const override {
    return Locked([](platform::HeadlessConsole& c) { return c.Columns(); });
  }
  bool ReadCells(std::vector<platform::Cell>* cells) override {
    return Locked([&](platform::HeadlessConsole& c) { return c.ReadCells(cells); });
  }
  bool WriteCells(const std::vector<platform::Cell>& cells, int rows, int columns) override {
    return Locked([&](platform::HeadlessConsole& c) { return c.WriteCells(cells, rows, columns); });
  }
  platform::CursorState GetCursor() const override {
    return Locked([](platform::HeadlessConsole& c) { return c.GetCursor(); });
  }
  void SetCursor(const platform::CursorState& cursor) override {
    Locked([&](platform::HeadlessConsole& c) { c.SetCursor(cursor); });
  }
  void SetTitle(std::string_view title) override {
    Locked([&](platform::HeadlessConsole& c) { c.SetTitle(title); });
  }
  int ReadKey() override {
    return Locked([](platform::HeadlessConsole& c) { return c.ReadKey(); });
  }
  void FlushInput() override {
    Locked([](platform::HeadlessConsole& c) { c.FlushInput(); });
  }
  bool Resize(int rows, int columns) override {
    return Locked([&](platform::HeadlessConsole& c) { return c.Resize(rows, columns); });
  }
  void PrintLine(std::string_view text) override {
    Locked([&](platform::HeadlessConsole& c) { c.PrintLine(text); });
  }

  void QueueKey(int key) {
    Locked([&](platform::HeadlessConsole& c) { c.QueueKey(key); });
  }
  std::string Text(int row, int column, int count) const {
    return Locked([&](platform::HeadlessConsole& c) { return CellText(c, row, column, count); });
  }
};

bool WaitFor(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

TEST(StatusDisplayThread, FollowsTheWorkersAndStopsWhenTold) {
  LockedConsole console;
  testing::ConsoleRun r(console);
  r.run.env.screen_lines = 25;
  r.run.fetch_thread_count = 1;
  r.run.slot_count = 2;
  r.sleeper.set_on_sleep([](int, int) { std::this_thread::yield(); });
  Screen screen(console, r.run.env);
  platform::Thread display = platform::Thread::Start([&](int) { StatusDisplay(r.run, screen); }, 0);

  r.run.slots[1].shown_server.Set("first.example");
  EXPECT_TRUE(WaitFor([&] { return console.Text(10, 21, 13) == "first.example"; }));
  r.run.slots[1].activity.Set("Reading Article(s)");
  r.run.slots[1].connections.connected = 1;
  EXPECT_TRUE(WaitFor([&] {
    return console.Text(11, 21, 18) == "Reading Article(s)" && console.Text(10, 72, 1) == "x";
  }));
  console.QueueKey(platform::kKeyEscape);
  EXPECT_TRUE(WaitFor([&] { return r.run.user_exit_requested.load() == 1; }));

  r.run.stop_display = 1;
  EXPECT_TRUE(WaitFor([&] { return !display.IsRunning(); }));
  display.Join();
  EXPECT_TRUE(r.Logged("Console: Exit requested", log::kDebug));
}

struct SummaryCase {
  long long total_bytes;
  double display_start;
  double now;
  std::string summary;
};

TEST(TransferSummary, BytesAndCps) {
  const std::string blanks(44, ' ');
  const SummaryCase cases[] = {
      {0, 100, 200, blanks},
      {5000, 100, 200, blanks},
      {6000, 0, 200, blanks},
      {6000, 100, 103, ""},
      {6000, 100, 110, std::string(23, ' ') + " 6000 Bytes / 600 cps"},
      {10000, 100, 103.6, std::string(21, ' ') + " 10000 Bytes / 2500 cps"},  // 3.6 s count as 4
      {999999999999999999, 1, 5, " 999999999999999999 Bytes / 249999999999999999 cps"},  // over 44
  };
  for (const SummaryCase& c : cases) {
    SCOPED_TRACE(c.total_bytes);
    platform::HeadlessConsole console(25, 80, false);
    testing::ConsoleRun r(console);
    r.run.total_bytes = c.total_bytes;
    r.run.display_start = c.display_start;
    platform::LocalTime time;
    time.seconds_since_midnight = c.now;
    r.clock.Set(time);
    EXPECT_EQ(TransferSummary(r.run), c.summary);
  }
}

TEST(ParseSecondsValue, LeadingNumber) {
  double value = 0;
  EXPECT_TRUE(ParseSecondsValue("36000    ", &value));
  EXPECT_DOUBLE_EQ(value, 36000);
  EXPECT_TRUE(ParseSecondsValue("  12.25x", &value));
  EXPECT_DOUBLE_EQ(value, 12.25);
  EXPECT_TRUE(ParseSecondsValue(".5", &value));
  EXPECT_DOUBLE_EQ(value, 0.5);
  EXPECT_TRUE(ParseSecondsValue("-3", &value));
  EXPECT_DOUBLE_EQ(value, -3);
  EXPECT_FALSE(ParseSecondsValue("", &value));
  EXPECT_FALSE(ParseSecondsValue(" .", &value));
  EXPECT_FALSE(ParseSecondsValue("x1", &value));
}

}  // namespace
}  // namespace quorix::console
