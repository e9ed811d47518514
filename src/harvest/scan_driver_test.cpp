#include "harvest/scan_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "bases/html_base.h"
#include "harvest/topic_rows.h"
#include "log/logger.h"
#include "run/testing.h"

namespace quorix::harvest {
namespace {

constexpr int kSlot = 2;

// A page that makes the fetcher throw.
constexpr char kThrow[] = "<throw>";

class ScanForumsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    run().log.SetMainLog(log::Logger::OpenLogFile(scratch_.PathOf("QUORIX.LOG")), "");
    slot().web.group_file = scratch_.PathOf("BOX.WEB");
    slot().web.engine = run::kUbb;
    slot().web.path = "ubb/";
    slot().web.topic = "f.cgi?forum=";
    slot().web.timeout_seconds = 5;
    slot().topic_count = 77;  // left from an earlier run
    slot().next_topic = 78;
  }
  void TearDown() override { run().log.CloseLogs(); }

  run::Run& run() { return test_run_.run; }
  run::Slot& slot() { return run().slots[kSlot]; }

  // Answers every request with `page` (empty: no answer) and records the paths.
  void Serve(std::string page) { page_ = std::move(page); }
  ScanOutcome Scan() {
    return ScanForums(
        worker::Worker(run(), run().slots[kSlot], kSlot), [this](std::string_view path) {
          paths_.emplace_back(path);
          if (page_ == kThrow) throw std::runtime_error("no memory left");
          http::Response response;
          response.sent = true;
          response.outcome = page_.empty() ? http::Outcome::kNoAnswer : http::Outcome::kAnswered;
          response.text = page_;
          return response;
        });
  }
  const std::vector<std::string>& RequestPaths() const { return paths_; }
  bool LogHas(const std::string& text) {
    return scratch_.Read("QUORIX.LOG").find(text) != std::string::npos;
  }

  quorix::testing::ScratchDir scratch_;
  quorix::testing::TestRun test_run_;
  std::string page_;
  std::vector<std::string> paths_;
};

TEST_F(ScanForumsTest, AFailureOnTheWayEndsTheWalkAndLeavesTheListAsItWas) {
  scratch_.Write("BOX.WEB", "de.a , A,1,20\r\nde.b,B,2,20");
  Serve(kThrow);

  EXPECT_EQ(Scan(), ScanOutcome::kEndedEarly);

  EXPECT_EQ(RequestPaths().size(), 1u) << "the second entry is not scanned";
  EXPECT_TRUE(LogHas("Error: Scan ended early: no memory left\r\n"));
  EXPECT_EQ(scratch_.Read("BOX.WEB"), "de.a , A,1,20\r\nde.b,B,2,20");
}

std::string UbbRow(const std::string& topic, const std::string& replies) {
  return std::string(kUbbRowMarker) + "\n<A HREF=\"http://h/ubb/" + topic +
         ".html\">T</A>\n3\n4\n<FONT>" + replies + "</FONT>\n6\n7\n8\n9</td></tr>\n";
}

TEST_F(ScanForumsTest, MissingGroupListFailsAfterAPauseAndIsNotCreated) {
  EXPECT_EQ(Scan(), ScanOutcome::kNoGroupList);

  const std::string message = "Error: Webforum File '" + slot().web.group_file + "' not found!";
  EXPECT_EQ(slot().status.Get(), message);
  EXPECT_TRUE(LogHas("! "));
  EXPECT_TRUE(LogHas(message));
  EXPECT_EQ(test_run_.sleeper.sleeps(), std::vector<int>{5000});
  EXPECT_EQ(slot().error.load(), 1);
  EXPECT_FALSE(scratch_.Exists("BOX.WEB"));
  EXPECT_EQ(slot().topic_count, 0);
  EXPECT_EQ(slot().next_topic, 1);
}

TEST_F(ScanForumsTest, ScansEntriesInFileOrderAndKeepsComments) {
  scratch_.Write("BOX.WEB", "de.a,Forum+One,1,20\r\n;comment\r\n\r\nde.b , Forum+Two ,2,30");
  Serve("");

  EXPECT_EQ(Scan(), ScanOutcome::kWalked);

  const std::vector<std::string> expected{
      "/ubb/f.cgi?forum=Forum+One&number=1&DaysPrune=20&LastLogin=",
      "/ubb/f.cgi?forum=Forum+Two&number=2&DaysPrune=30&LastLogin="};
  EXPECT_EQ(RequestPaths(), expected);
  EXPECT_EQ(scratch_.Read("BOX.WEB"),
            "de.a,Forum+One,1,20\r\n;comment\r\nde.b , Forum+Two ,2,30\r\n");
  EXPECT_EQ(slot().error.load(), 0);
  EXPECT_TRUE(test_run_.sleeper.sleeps().empty());
}

TEST_F(ScanForumsTest, ExitRequestSkipsEveryEntryButTheListIsStillRewritten) {
  scratch_.Write("BOX.WEB", "de.a,Forum+One,1,20\r\n\r\nde.b,Forum  Two,2,20\r\n");
  Serve("");
  run().user_exit_requested.store(1);

  EXPECT_EQ(Scan(), ScanOutcome::kWalked);

  EXPECT_TRUE(RequestPaths().empty());
  EXPECT_EQ(run().total_bytes.load(), 0);
  EXPECT_EQ(slot().status.Get(), "Exit requested by User");
  EXPECT_EQ(scratch_.Read("BOX.WEB"), "de.a,Forum+One,1,20\r\nde.b,Forum Two,2,20\r\n");
}

TEST_F(ScanForumsTest, TopicCountersRestartAndCoverEveryForum) {
  scratch_.Write("BOX.WEB", "de.a,A,1,20\r\nde.b,B,2,20\r\n");
  // Both topics are known with the same marker, so nothing is fetched.
  bases::RecordTopic(run(), "/ubb/1.html,4");
  bases::RecordTopic(run(), "/ubb/2.html,0");
  Serve(UbbRow("1", "4") + UbbRow("2", "0"));

  EXPECT_EQ(Scan(), ScanOutcome::kWalked);

  EXPECT_EQ(RequestPaths().size(), 2u);  // the two topic lists only
  EXPECT_EQ(slot().topic_count, 4);
  EXPECT_EQ(slot().next_topic, 5);
}

TEST_F(ScanForumsTest, RewriteReplacesTheListUnderItsExistingName) {
  scratch_.Write("box.web", "de.a,A,1,20");
  scratch_.Write("box.web.tmp4960-973091", "de.a,A,1,");  // a killed run's rewrite
  slot().web.engine = run::kNoEngine;

  EXPECT_EQ(Scan(), ScanOutcome::kWalked);

  EXPECT_EQ(scratch_.Read("box.web"), "de.a,A,1,20\r\n");
  // Nothing else is left in the directory: no second list, no temporary file
  // of this rewrite nor of the killed one.
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(scratch_.path())) {
    names.push_back(item.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"QUORIX.LOG", "box.web"}));
}

TEST_F(ScanForumsTest, EmptyGroupListIsWalkedAndWrittenBackAsOneLineEnd) {
  scratch_.Write("BOX.WEB", "");
  slot().web.engine = run::kNoEngine;

  EXPECT_EQ(Scan(), ScanOutcome::kWalked);

  EXPECT_EQ(scratch_.Read("BOX.WEB"), "\r\n");
}

}  // namespace
}  // namespace quorix::harvest
