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

  void Serve(std::map<std::string, std::string> pages, int engine) {
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

  EXPECT_EQ(
      ScanTopicLists(run(), "de.test", "General+Talk", 3, 30, table, kSlot, forum_->fetcher()), 1);

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

  ScanTopicLists(run(), "de.test", "F", 1, 5, table, kSlot, forum_->fetcher());

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

  ScanTopicLists(run(), "de.test", "Board+Seven", 7, 0, table, kSlot, forum_->fetcher());

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

  EXPECT_EQ(ScanTopicLists(run(), "de.test", "B", 1, 0, table, kSlot, forum_->fetcher()), 1);

  EXPECT_EQ(seen().size(), 1u);
  EXPECT_TRUE(table.empty());
  EXPECT_EQ(slot().topic_count, 0);
}

TEST_F(TopicListsTest, NoEngineMakesNoRequest) {
  Serve({}, run::kNoEngine);
  TopicTable table;

  EXPECT_EQ(ScanTopicLists(run(), "de.test", "B", 1, 0, table, kSlot, forum_->fetcher()), 1);

  EXPECT_TRUE(seen().empty());
  EXPECT_EQ(run().total_bytes.load(), 0);
}

}  // namespace
}  // namespace quorix::harvest
