#include "log/logger.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/test_util.h"
#include "text/text.h"

namespace quorix::log {
namespace {

using platform::testing::FakeClock;
using platform::testing::ReadTestFile;
using platform::testing::ScratchDir;

constexpr char kHeader[] = "----------  Fri 05 Mar 04, Korvendale/News v0.23g\r\n";

class LoggerTest : public ::testing::Test {
 protected:
  LoggerTest() { clock_.Set(2004, 3, 5, 5, 14, 3, 59); }

  std::string MainName() const { return dir_ / "QUORIX.LOG"; }
  std::string ClientName() const { return dir_ / "XP-PPP.LOG"; }
  void OpenMain(std::string_view omralog = "") {
    logger_.SetMainLog(Logger::OpenLogFile(MainName()), omralog);
  }
  void OpenClient(std::string_view omralog = "") {
    logger_.SetClientLog(Logger::OpenLogFile(ClientName()), omralog);
  }
  std::string Main() const { return ReadTestFile(MainName()); }
  std::string Client() const { return ReadTestFile(ClientName()); }
  // What follows the header of a log that was opened on an empty file.
  std::string MainBody() const { return Main().substr(sizeof(kHeader) - 1); }

  FakeClock clock_;
  ScratchDir dir_;
  Logger logger_{clock_, "QUORIX ", "v0.23g"};
};

TEST_F(LoggerTest, LineLayoutIsByteExact) {
  OpenMain();
  logger_.WriteLog("Error: parsing file", 2, kError);
  clock_.Set(2004, 3, 5, 5, 14, 5, 12);
  logger_.WriteLog("END", kMainThread, kProgress);
  EXPECT_EQ(MainBody(),
            "! 14:03:59  QUORIX #2: Error: parsing file\r\n"
            "  14:05:12  QUORIX   : END\r\n");
}

TEST_F(LoggerTest, HeldLinesKeepTheirTimesAndOrderAndOtherThreadsPass) {
  OpenMain();
  OpenClient();
  {
    LogHold hold(logger_, 3);
    logger_.WriteLog("Article: <a> is new/edited", 3, kProgress);
    clock_.Set(2004, 3, 5, 5, 14, 4, 0);
    logger_.WriteLog("GET: /other", 4, kProgress);                    // another thread: at once
    logger_.WriteLog("Creating Spoolfile: N000001.MSG", 3, kDetail);  // dropped outside debug
    logger_.WriteLog("Error Spoolfile: N000001.MSG", 3, kProblem);
    EXPECT_EQ(MainBody(), "  14:04:00  QUORIX #4: GET: /other\r\n");
  }
  logger_.WriteLog("END", kMainThread, kProgress);
  const std::string expected =
      "  14:04:00  QUORIX #4: GET: /other\r\n"
      "  14:03:59  QUORIX #3: Article: <a> is new/edited\r\n"
      "? 14:04:00  QUORIX #3: Error Spoolfile: N000001.MSG\r\n"
      "  14:04:00  QUORIX   : END\r\n";
  EXPECT_EQ(MainBody(), expected);
  EXPECT_EQ(Client(), kHeader + expected);
}

// Lines built on one thread keep the time they were built at and come out
// where they are written, held like any other line of their thread.
TEST_F(LoggerTest, BuiltLinesKeepTheirTimeAndAreWrittenLaterInTheirPlace) {
  OpenMain();
  const std::string early = logger_.BuildLine("GET: /ubb/7.html", 3, kProgress);
  const std::string dropped = logger_.BuildLine("detail", 3, kDetail);
  EXPECT_EQ(early, "  14:03:59  QUORIX #3: GET: /ubb/7.html\r\n");
  EXPECT_EQ(dropped, "");
  EXPECT_EQ(MainBody(), "");  // building writes nothing
  clock_.Set(2004, 3, 5, 5, 14, 4, 1);
  logger_.WriteLog("Topic 6 done", 3, kProgress);
  {
    LogHold hold(logger_, 3);
    logger_.WriteBuiltLines(early + logger_.BuildLine("Answer not taken", 3, kProblem), 3);
    logger_.WriteBuiltLines(dropped, 3);
    EXPECT_EQ(MainBody(), "  14:04:01  QUORIX #3: Topic 6 done\r\n");
  }
  EXPECT_EQ(MainBody(),
            "  14:04:01  QUORIX #3: Topic 6 done\r\n"
            "  14:03:59  QUORIX #3: GET: /ubb/7.html\r\n"
            "? 14:04:01  QUORIX #3: Answer not taken\r\n");
}

TEST_F(LoggerTest, MarksOfTheAlwaysWrittenLevels) {
  OpenMain();
  const std::vector<std::pair<int, std::string>> levels = {
      {0, "  "}, {1, "! "}, {2, "? "}, {3, "$ "}, {5, ": "},
      {6, "+ "}, {7, "- "}, {8, "% "}, {9, "~ "}, {10, "= "},
  };
  std::string expected;
  for (const auto& [level, mark] : levels) {
    logger_.WriteLog("m", 1, level);
    expected += mark + "14:03:59  QUORIX #1: m\r\n";
  }
  EXPECT_EQ(MainBody(), expected);
}

TEST_F(LoggerTest, DebugOnlyLevelsAreDroppedOutsideDebugMode) {
  OpenMain();
  for (int level : {4, 255, 12, 11, 256, -1}) logger_.WriteLog("hidden", 1, level);
  EXPECT_EQ(MainBody(), "");
}

TEST_F(LoggerTest, DebugOnlyLevelsInDebugMode) {
  logger_.set_debug_mode(true);
  logger_.SetMainLog(Logger::OpenLogFile(MainName()), "");
  const std::string header =
      kHeader + std::string("  14:03:59  QUORIX   : Debug-Mode activated\r\n");
  logger_.WriteLog("Creating Spoolfile: x", 3, kDetail);
  logger_.WriteLog("Console Starting ...", 0, kDebug);
  logger_.WriteLog("odd", 1, 12);
  logger_.WriteLog("always", 1, kProgress);
  EXPECT_EQ(Main(), header +
                        "* 14:03:59  QUORIX #3: Creating Spoolfile: x\r\n"
                        "  14:03:59  QUORIX #0: Console Starting ...\r\n"
                        "14:03:59  QUORIX #1: odd\r\n"
                        "  14:03:59  QUORIX #1: always\r\n");
}

TEST(LoggerThreadTag, MainBlanksElseNumber) {
  EXPECT_EQ(Logger::ThreadTag(-1), "  ");
  EXPECT_EQ(Logger::ThreadTag(-7), "  ");
  EXPECT_EQ(Logger::ThreadTag(0), "#0");
  EXPECT_EQ(Logger::ThreadTag(1), "#1");
  EXPECT_EQ(Logger::ThreadTag(10), "#10");
}

TEST_F(LoggerTest, ClockIsReadForEveryLine) {
  OpenMain();
  logger_.WriteLog("a", 1, 0);
  clock_.Set(2004, 3, 5, 5, 9, 8, 7);
  logger_.WriteLog("b", 1, 0);
  EXPECT_EQ(MainBody(), "  14:03:59  QUORIX #1: a\r\n  09:08:07  QUORIX #1: b\r\n");
}

TEST_F(LoggerTest, MessageIsWrittenUnchanged) {
  OpenMain();
  logger_.WriteLog("first\r\nsecond", 1, kError);
  logger_.WriteLog("", 2, kProgress);
  logger_.WriteLog(std::string("nul\0byte \x84", 10), 2, kProgress);
  EXPECT_EQ(MainBody(),
            "! 14:03:59  QUORIX #1: first\r\nsecond\r\n"
            "  14:03:59  QUORIX #2: \r\n" +
                std::string("  14:03:59  QUORIX #2: nul\0byte \x84\r\n", 35));
}

struct HeaderCase {
  const char* omralog;
  bool debug;
  std::string expected;
};

TEST_F(LoggerTest, HeaderLineInBothStylesWithAndWithoutDebugMode) {
  const std::string debug_line = "\r\n  14:03:59  QUORIX   : Debug-Mode activated";
  const std::vector<HeaderCase> cases = {
      {"", false, "----------  Fri 05 Mar 04, Korvendale/News v0.23g"},
      {"xp", false, "----------  05.03.2004, Korvendale/News v0.23g"},
      {"", true, "----------  Fri 05 Mar 04, Korvendale/News v0.23g" + debug_line},
      {"XP", true, "----------  05.03.2004, Korvendale/News v0.23g" + debug_line},
  };
  for (const auto& c : cases) {
    logger_.set_debug_mode(c.debug);
    EXPECT_EQ(logger_.LogHeaderLine(c.omralog), c.expected) << c.omralog << c.debug;
  }
}

TEST_F(LoggerTest, HeaderIsWrittenOnceWithLineEnd) {
  OpenMain("XP");
  EXPECT_EQ(Main(), "----------  05.03.2004, Korvendale/News v0.23g\r\n");
}

TEST_F(LoggerTest, ClientLogOpenedBeforeDebugModeHasNoDebugLine) {
  OpenClient();  // XP2: the client log is opened before the marker is checked
  logger_.set_debug_mode(true);
  OpenMain();
  EXPECT_EQ(Client(), kHeader);
  EXPECT_EQ(Main(), kHeader + std::string("  14:03:59  QUORIX   : Debug-Mode activated\r\n"));
}

TEST_F(LoggerTest, BothLogsGetIdenticalLines) {
  OpenClient();
  OpenMain();
  logger_.WriteLog("GET: /cgi-bin/forumdisplay.cgi", 1, kProgress);
  logger_.WriteLog("Error Reading Dupebase", kMainThread, kProblem);
  logger_.WriteLog("detail", 1, kDetail);  // dropped in both
  const std::string lines =
      "  14:03:59  QUORIX #1: GET: /cgi-bin/forumdisplay.cgi\r\n"
      "? 14:03:59  QUORIX   : Error Reading Dupebase\r\n";
  EXPECT_EQ(Main(), kHeader + lines);
  EXPECT_EQ(Client(), kHeader + lines);
}

TEST_F(LoggerTest, OldContentIsKept) {
  {
    std::ofstream old(MainName(), std::ios::binary);
    old << "old line\r\n";
  }
  OpenMain();
  logger_.WriteLog("new", 1, kProgress);
  EXPECT_EQ(Main(), "old line\r\n" + std::string(kHeader) + "  14:03:59  QUORIX #1: new\r\n");
}

TEST_F(LoggerTest, MissingLogDirectoryLeavesLogClosed) {
  const std::string name = dir_ / "LOG/QUORIX.LOG";
  platform::File file = Logger::OpenLogFile(name);
  EXPECT_FALSE(file.IsOpen());
  logger_.SetMainLog(std::move(file), "");
  EXPECT_FALSE(logger_.MainLogOpen());
  logger_.WriteLog("lost", 1, kProgress);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "LOG"));
}

TEST_F(LoggerTest, BackslashNamesOpen) {
  std::filesystem::create_directory(dir_ / "LOG");
  logger_.SetMainLog(Logger::OpenLogFile(dir_.path() + "/LOG\\QUORIX.LOG"), "");
  EXPECT_TRUE(logger_.MainLogOpen());
  EXPECT_EQ(ReadTestFile(dir_ / "LOG/QUORIX.LOG"), kHeader);
}

TEST_F(LoggerTest, LogHeldOpenIsExclusive) {
  OpenMain();
  platform::File second = Logger::OpenLogFile(MainName());
  EXPECT_FALSE(second.IsOpen());
  logger_.CloseLogs();
  platform::File third = Logger::OpenLogFile(MainName());
  EXPECT_TRUE(third.IsOpen());
}

TEST_F(LoggerTest, CloseLogsStopsWriting) {
  OpenClient();
  OpenMain();
  logger_.CloseLogs();
  EXPECT_FALSE(logger_.MainLogOpen());
  EXPECT_FALSE(logger_.ClientLogOpen());
  logger_.WriteLog("after close", 1, kProgress);
  logger_.CloseLogs();  // closing twice is harmless
  EXPECT_EQ(Main(), kHeader);
  EXPECT_EQ(Client(), kHeader);
}

TEST_F(LoggerTest, OpenClientLogUsesClientPath) {
  std::filesystem::create_directory(dir_ / "client");
  logger_.OpenClientLog("Client-Path=" + (dir_ / "client/") + "\r\n", "");
  ASSERT_TRUE(logger_.ClientLogOpen());
  logger_.WriteLog("line", 2, kProgress);
  EXPECT_EQ(ReadTestFile(dir_ / "client/XPCLIENT.LOG"),
            kHeader + std::string("  14:03:59  QUORIX #2: line\r\n"));
}

TEST_F(LoggerTest, OpenClientLogOnlyOnce) {
  std::filesystem::create_directory(dir_ / "a");
  std::filesystem::create_directory(dir_ / "b");
  logger_.OpenClientLog("Client-Path=" + (dir_ / "a/") + "\n", "");
  logger_.OpenClientLog("Client-Path=" + (dir_ / "b/") + "\n", "");
  EXPECT_TRUE(std::filesystem::exists(dir_ / "a/XPCLIENT.LOG"));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "b/XPCLIENT.LOG"));
}

TEST_F(LoggerTest, OpenClientLogRetriesAfterAFailedOpen) {
  logger_.OpenClientLog("Client-Path=" + (dir_ / "missing/") + "\n", "");
  EXPECT_FALSE(logger_.ClientLogOpen());
  std::filesystem::create_directory(dir_ / "b");
  logger_.OpenClientLog("ExClient-Path=" + (dir_ / "b/") + "\nClient-Path=x/\n", "");
  EXPECT_TRUE(logger_.ClientLogOpen());
  EXPECT_EQ(ReadTestFile(dir_ / "b/XPCLIENT.LOG"), kHeader);
}

TEST_F(LoggerTest, ConcurrentOpenClientLogOpensOne) {
  std::filesystem::create_directory(dir_ / "a");
  std::filesystem::create_directory(dir_ / "b");
  std::thread first([&] { logger_.OpenClientLog("Client-Path=" + (dir_ / "a/") + "\n", ""); });
  std::thread second([&] { logger_.OpenClientLog("Client-Path=" + (dir_ / "b/") + "\n", ""); });
  first.join();
  second.join();
  EXPECT_NE(std::filesystem::exists(dir_ / "a/XPCLIENT.LOG"),
            std::filesystem::exists(dir_ / "b/XPCLIENT.LOG"));
}

// Each physical line must be one whole line of one of the writers.
TEST_F(LoggerTest, ThreadsWriteWholeLinesOnly) {
  OpenClient();
  OpenMain();
  constexpr int kLines = 1000;
  auto writer = [this](int thread, const std::string& message) {
    for (int i = 0; i < kLines; ++i) logger_.WriteLog(message, thread, kProgress);
  };
  const std::string message1 = "fetch " + std::string(200, 'a');
  const std::string message2 = "post " + std::string(300, 'b');
  std::thread one(writer, 1, message1);
  std::thread two(writer, 2, message2);
  one.join();
  two.join();

  const std::string line1 = "  14:03:59  QUORIX #1: " + message1;
  const std::string line2 = "  14:03:59  QUORIX #2: " + message2;
  const std::string body = MainBody();
  std::vector<std::string_view> lines = text::Split(body, "\r\n");
  ASSERT_EQ(lines.size(), 2u * kLines + 1);
  EXPECT_EQ(lines.back(), "");
  lines.pop_back();
  int count1 = 0;
  int count2 = 0;
  for (std::string_view line : lines) {
    if (line == line1) {
      ++count1;
    } else if (line == line2) {
      ++count2;
    } else {
      ADD_FAILURE() << "broken line: " << line.substr(0, 60);
      break;
    }
  }
  EXPECT_EQ(count1, kLines);
  EXPECT_EQ(count2, kLines);
  EXPECT_EQ(Client(), Main());  // the same lines in the same order
}

TEST(LoggerLevels, WrittenWithoutDebug) {
  for (int level = -2; level < 300; ++level) {
    bool expected = level >= 0 && level <= 10 && level != 4;
    EXPECT_EQ(Logger::WrittenWithoutDebug(level), expected) << level;
  }
  EXPECT_EQ(Logger::LevelMark(255), "  ");
  EXPECT_EQ(Logger::LevelMark(4), "* ");
  EXPECT_EQ(Logger::LevelMark(11), "");
  EXPECT_EQ(Logger::LevelMark(-1), "");
}

}  // namespace
}  // namespace quorix::log
