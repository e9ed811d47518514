#include "harvest/topic_lists.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "harvest/test_forum.h"
#include "run/testing.h"

namespace quorix::harvest {
namespace {

constexpr int kSlot = 1;

using testing::Seen;
using testing::TestForum;

class TopicListsTest : public ::testing::Test {
 protected:
  run::Run& run() { return test_run_.run; }
  run::Slot& slot() { return run().slots[kSlot]; }
  worker::Worker worker() { return worker::Worker(run(), run().slots[kSlot], kSlot); }

  // Serves each page as a whole answer with status 200, unless it brings its
  // own status line.
  void Serve(std::map<std::string, std::string> pages, int engine) {
    for (auto& [path, page] : pages) {
      if (!page.empty() && page.rfind("HTTP/", 0) != 0) page = "HTTP/1.0 200 OK\r\n\r\n" + page;
    }
    forum_ = std::make_unique<TestForum>(slot(), std::move(pages));
    slot().web.engine = engine;
  }
  std::vector<Seen> seen() const { return forum_->seen(); }

  quorix::testing::TestRun test_run_;
  std::unique_ptr<TestForum> forum_;
};

std::string UbbRow(const std::string& topic, const std::string& replies) {
  return std::string(kUbbRowMarker) + "\n<A HREF=\"http://h/ubb/" + topic +
         ".html\">T</A>\n3\n4\n<FONT>" + replies + "</FONT>\n6\n7\n8\n9</td></tr>\n";
}

TEST(TopicListPaths, UbbPathsJoinThePartsWithoutSeparators) {
  run::WebSettings web;
  web.path = "/support/forums";
  web.topic = "forumdisplay.cgi?action=topics&forum=";
  EXPECT_EQ(UbbFirstPagePath(web, "General+Talk", 3, 30),
            "//support/forumsforumdisplay.cgi?action=topics&forum=General+Talk&number=3"
            "&DaysPrune=30&LastLogin=");
  EXPECT_EQ(UbbFurtherPagePath(web, "General+Talk", 3, 30, "&start=", 100),
            "//support/forumsforumdisplay.cgi?action=topics&forum=General+Talk&number=3"
            "&DaysPrune=30&start=100");
  EXPECT_EQ(UbbFirstPagePath(web, "F", -1, 0),
            "//support/forumsforumdisplay.cgi?action=topics&forum=F&number=-1&DaysPrune=0"
            "&LastLogin=");
}

TEST(TopicListPaths, ThreadsPathCarriesTheBoardNumberAndPage) {
  run::WebSettings web;
  web.path = "";
  web.topic = "ubbthreads/postlist.php?Board=";
  EXPECT_EQ(ThreadsPagePath(web, 7, 0),
            "/ubbthreads/postlist.php?Board=7&page=0&view=collapsed&sb=5&o=");
  EXPECT_EQ(ThreadsPagePath(web, 7, 12),
            "/ubbthreads/postlist.php?Board=7&page=12&view=collapsed&sb=5&o=");
}

TEST(TopicListPaths, NextPageCountsOnlyWhenLinkedWithAmpEntities) {
  const std::string path = "/t.php?Board=7&page=1&view=collapsed&sb=5&o=";
  EXPECT_TRUE(LinksToPage(
      "<a href=\"/t.php?Board=7&amp;page=1&amp;view=collapsed&amp;sb=5&amp;o=\">", path));
  EXPECT_FALSE(LinksToPage("<a href=\"/t.php?Board=7&page=1&view=collapsed&sb=5&o=\">", path));
  EXPECT_FALSE(LinksToPage("", path));
}

TEST(TopicListPaths, DisplayNameShowsBlanksForPlusSigns) {
  EXPECT_EQ(DisplayName("General+Talk+Here"), "General Talk Here");
  EXPECT_EQ(DisplayName(""), "");
}

TEST_F(TopicListsTest, UbbFirstPageAnnouncesThreeMorePages) {
  slot().web.path = "ubb/";
  slot().web.topic = "forumdisplay.cgi?action=topics&forum=";
  slot().forum_template.index_count = "&start=";
  const std::string stem =
      "/ubb/forumdisplay.cgi?action=topics&forum=General+Talk&number=3&DaysPrune=30";
  Serve({{stem + "&LastLogin=", UbbRow("1", "4") + "&start=&start=&start=" + UbbRow("2", "0")},
         {stem + "&start=50", UbbRow("3", "7")},
         {stem + "&start=150", UbbRow("4", "1")}},
        run::kUbb);
  TopicTable table{"/earlier,1"};
  slot().topic_count = 1;

  // The third page (&start=100) gets no answer; the others' topics are kept.
  EXPECT_EQ(ScanTopicLists(worker(), "General+Talk", 3, 30, table, forum_->fetcher()),
            ListOutcome::kNoAnswer);

  const std::vector<Seen> requests = seen();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].path, stem + "&LastLogin=");
  EXPECT_EQ(requests[0].status, "Page: 1");
  EXPECT_EQ(requests[0].activity, "Scanning: General Talk");
  EXPECT_EQ(requests[1].path, stem + "&start=50");
  EXPECT_EQ(requests[1].status, "Page: 2 of 4 Pages");
  EXPECT_EQ(requests[2].path, stem + "&start=100");
  EXPECT_EQ(requests[2].status, "Page: 3 of 4 Pages");
  EXPECT_EQ(requests[3].path, stem + "&start=150");
  EXPECT_EQ(requests[3].status, "Page: 4 of 4 Pages");
  EXPECT_EQ(requests[3].activity, "Scanning: General Talk");
  const TopicTable expected{"/earlier,1", "/ubb/1.html,4", "/ubb/2.html,0", "/ubb/3.html,7",
                            "/ubb/4.html,1"};
  EXPECT_EQ(table, expected);
  EXPECT_EQ(slot().topic_count, 5);
}

TEST_F(TopicListsTest, UbbWithoutIndexCountReadsOnlyTheFirstPage) {
  slot().web.path = "ubb/";
  slot().web.topic = "f.cgi?forum=";
  slot().forum_template.index_count = "";
  Serve({{"/ubb/f.cgi?forum=F&number=1&DaysPrune=5&LastLogin=", UbbRow("1", "2")}}, run::kUbb);
  TopicTable table;

  ScanTopicLists(worker(), "F", 1, 5, table, forum_->fetcher());

  EXPECT_EQ(seen().size(), 1u);
  EXPECT_EQ(table, TopicTable{"/ubb/1.html,2"});
}

TEST_F(TopicListsTest, ThreadsFollowsOnlyPagesLinkedWithAmpEntities) {
  slot().web.path = "";
  slot().web.topic = "ubbthreads/postlist.php?Board=";
  const std::string page0 = "/ubbthreads/postlist.php?Board=7&page=0&view=collapsed&sb=5&o=";
  const std::string page1 = "/ubbthreads/postlist.php?Board=7&page=1&view=collapsed&sb=5&o=";
  const std::string row =
      "/ubbthreads/"
      "showflat.php?Number=5&amp;page=0\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n&nbsp;3\n</tr>";
  Serve({{page0, row + "<a "
                       "href=\"/ubbthreads/"
                       "postlist.php?Board=7&amp;page=1&amp;view=collapsed&amp;sb=5&amp;o=\">"},
         {page1, "<a href=\"/ubbthreads/postlist.php?Board=7&page=2&view=collapsed&sb=5&o=\">"}},
        run::kUbbThreads);
  TopicTable table;

  ScanTopicLists(worker(), "Board+Seven", 7, 0, table, forum_->fetcher());

  const std::vector<Seen> requests = seen();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].path, page0);
  EXPECT_EQ(requests[0].status, "Page: 1");
  EXPECT_EQ(requests[0].activity, "Scanning: Board Seven");
  EXPECT_EQ(requests[1].path, page1);
  EXPECT_EQ(requests[1].status, "Page: 2");
  EXPECT_EQ(table, TopicTable{"/ubbthreads/showflat.php?Number=5,3"});
  EXPECT_EQ(slot().topic_count, 1);
}

TEST_F(TopicListsTest, EmptyAnswerEndsTheScanWithoutTopics) {
  slot().web.path = "";
  slot().web.topic = "t.php?Board=";
  slot().forum_template.index_count = "x";
  Serve({}, run::kUbbThreads);
  TopicTable table;

  EXPECT_EQ(ScanTopicLists(worker(), "B", 1, 0, table, forum_->fetcher()), ListOutcome::kNoAnswer);

  EXPECT_EQ(seen().size(), 1u);
  EXPECT_TRUE(table.empty());
  EXPECT_EQ(slot().topic_count, 0);
}

TEST_F(TopicListsTest, NoEngineMakesNoRequest) {
  Serve({}, run::kNoEngine);
  TopicTable table;

  EXPECT_EQ(ScanTopicLists(worker(), "B", 1, 0, table, forum_->fetcher()), ListOutcome::kNoEngine);

  EXPECT_TRUE(seen().empty());
  EXPECT_EQ(run().total_bytes.load(), 0);
}

// The first thing that went wrong is what the scan returns; the topics of
// every page that answered are kept whatever it is.
TEST_F(TopicListsTest, TheOutcomeNamesTheFirstPageThatWentWrong) {
  const std::string page0 = "/ubbthreads/postlist.php?Board=7&page=0&view=collapsed&sb=5&o=";
  const std::string page1 = "/ubbthreads/postlist.php?Board=7&page=1&view=collapsed&sb=5&o=";
  const std::string page2 = "/ubbthreads/postlist.php?Board=7&page=2&view=collapsed&sb=5&o=";
  const std::string link1 =
      "<a href=\"/ubbthreads/postlist.php?Board=7&amp;page=1&amp;view=collapsed&amp;sb=5&amp;o=\">";
  const std::string link2 =
      "<a href=\"/ubbthreads/postlist.php?Board=7&amp;page=2&amp;view=collapsed&amp;sb=5&amp;o=\">";
  const std::string row =
      "/ubbthreads/"
      "showflat.php?Number=5&amp;page=0\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n&nbsp;3\n</tr>";
  const std::string moved = "HTTP/1.0 302 Found\r\nLocation: http://elsewhere/\r\n\r\n" + link2;
  const std::string refused = "HTTP/1.0 500 Oops\r\n\r\n" + link2;
  struct Case {
    const char* name;
    std::map<std::string, std::string> pages;
    ListOutcome outcome;
    size_t requests;
  };
  const std::vector<Case> cases = {
      {"all pages read", {{page0, row + link1}, {page1, "none"}}, ListOutcome::kRead, 2},
      {"a linked page without answer", {{page0, row + link1}}, ListOutcome::kNoAnswer, 2},
      {"a redirect, then a page without answer",
       {{page0, row + link1}, {page1, moved}},
       ListOutcome::kNotAList,
       3},
      {"another status",
       {{page0, row + link1}, {page1, refused}, {page2, "x"}},
       ListOutcome::kNotAList,
       3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    quorix::testing::TestRun fresh;
    run::Slot& s = fresh.run.slots[kSlot];
    s.web.topic = "ubbthreads/postlist.php?Board=";
    s.web.engine = run::kUbbThreads;
    std::map<std::string, std::string> pages = c.pages;
    for (auto& [path, page] : pages) {
      if (page.rfind("HTTP/", 0) != 0) page = "HTTP/1.0 200 OK\r\n\r\n" + page;
    }
    TestForum forum(s, pages);
    TopicTable table;
    EXPECT_EQ(ScanTopicLists(worker::Worker(fresh.run, fresh.run.slots[kSlot], kSlot), "B", 7, 0,
                             table, forum.fetcher()),
              c.outcome);
    EXPECT_EQ(forum.seen().size(), c.requests);
    EXPECT_EQ(table, TopicTable{"/ubbthreads/showflat.php?Number=5,3"});
  }
}

TEST_F(TopicListsTest, AListLongerThanTheLimitIsCut) {
  slot().web.path = "ubb/";
  slot().web.topic = "f.cgi?forum=";
  slot().forum_template.index_count = "&s=";
  std::string announced;
  for (int64_t i = 0; i < kMaxListPages; ++i) announced += "&s=";
  Serve({{"/ubb/f.cgi?forum=F&number=1&DaysPrune=5&LastLogin=", UbbRow("1", "2") + announced}},
        run::kUbb);
  TopicTable table;

  EXPECT_EQ(ScanTopicLists(worker(), "F", 1, 5, table, forum_->fetcher()), ListOutcome::kCut);

  EXPECT_EQ(seen().size(), static_cast<size_t>(kMaxListPages));
  EXPECT_EQ(table, TopicTable{"/ubb/1.html,2"});
}

}  // namespace
}  // namespace quorix::harvest
