#include "harvest/article_retrieval.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bases/html_base.h"
#include "harvest/test_forum.h"
#include "run/testing.h"

namespace quorix::harvest {
namespace {

TEST(TopicRequestPath, ThreadsTopicsAskForAllArticlesOnOnePage) {
  EXPECT_EQ(TopicRequestPath(run::kUbb, "/ubb/Forum3/HTML/000123.html"),
            "/ubb/Forum3/HTML/000123.html");
  EXPECT_EQ(
      TopicRequestPath(run::kUbbThreads, "/ubbthreads/showflat.php?Cat=&Board=X&Number=123"),
      "/ubbthreads/showflat.php?Cat=&Board=X&Number=123&page=0&view=collapsed&sb=5&o=&fpart=all");
}

TEST(ContinuationPath, ReplacesTheHtmlEndingByHyphenPageAndHtml) {
  EXPECT_EQ(ContinuationPath("/ubb/Forum3/HTML/000123.html", 2), "/ubb/Forum3/HTML/000123-2.html");
  EXPECT_EQ(ContinuationPath("/ubb/Forum3/HTML/000123.html", 11),
            "/ubb/Forum3/HTML/000123-11.html");
  // Whatever the last five characters are, they go.
  EXPECT_EQ(ContinuationPath("/ubb/x.htm", 2), "/ubb/-2.html");
  EXPECT_EQ(ContinuationPath("abc", 2), "-2.html");
  EXPECT_EQ(ContinuationPath("", 3), "-3.html");
}

using testing::Seen;
using testing::TestForum;

constexpr int kSlot = 3;
constexpr char kTopic[] = "/ubb/Forum3/HTML/000123.html";
// One UBB post cell: ten lines, author on the second, body on the tenth.
constexpr char kPostCell[] =
    "<TD width=18% valign=top>\r\nJoe\r\n3\r\n4\r\n5\r\n6\r\n"
    "October 05, 2004 10:30 PM\r\n8\r\n9\r\nHello</td></tr>\r\n";

// A forum's answer: status line, Content-Length, the body.
std::string Answer(const std::string& body, int status = 200) {
  return "HTTP/1.0 " + std::to_string(status) +
         " X\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

class RetrieveArticlesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    slot().web.engine = run::kUbb;
    slot().web.spool = scratch_.Prefix();
    run().env.program_dir = scratch_.Prefix();  // the delivery journal's place
  }

  run::Run& run() { return test_run_.run; }
  run::Slot& slot() { return run().slots[kSlot]; }

  // Serves each text as a whole topic page with one post and the text.
  void Serve(std::map<std::string, std::string> pages) {
    for (auto& [path, text] : pages) text = Answer(kPostCell + text);
    ServeRaw(std::move(pages));
  }
  void ServeRaw(std::map<std::string, std::string> answers) {
    forum_ = std::make_unique<TestForum>(slot(), std::move(answers));
  }
  // Runs the retrieval over `table` as a fresh scan would after listing it.
  RetrievalOutcome Retrieve(const TopicTable& table, int next_topic = 1) {
    slot().topic_count = static_cast<int>(table.size());
    slot().next_topic = next_topic;
    const RetrievalOutcome outcome =
        RetrieveArticles(worker::Worker(run(), run().slots[kSlot], kSlot), "de.test", "Forum+Three",
                         3, table, forum_->fetcher());
    EXPECT_EQ(slot().next_topic, static_cast<int>(table.size()) + 1);
    return outcome;
  }
  std::vector<std::string> Records() { return bases::HtmlRecords(run()); }

  quorix::testing::ScratchDir scratch_;
  quorix::testing::TestRun test_run_;
  std::unique_ptr<TestForum> forum_;
};

TEST_F(RetrieveArticlesTest, UnchangedTopicIsNotFetched) {
  bases::RecordTopic(run(), std::string(kTopic) + ",4");
  Serve({});

  Retrieve({std::string(kTopic) + ",4 replies"});

  EXPECT_TRUE(forum_->paths().empty());
  EXPECT_EQ(Records(), std::vector<std::string>{std::string(kTopic) + ",4"});
}

TEST_F(RetrieveArticlesTest, ChangedTopicIsFetchedAndReplacedInPlace) {
  bases::RecordTopic(run(), "/ubb/other.html,1");
  bases::RecordTopic(run(), std::string(kTopic) + ",4");
  bases::RecordTopic(run(), "/ubb/last.html,1");
  Serve({{kTopic, "<html>a topic page</html>"}});

  Retrieve({std::string(kTopic) + ",5"});

  const std::vector<Seen> seen = forum_->seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].path, kTopic);
  EXPECT_EQ(seen[0].activity, "Reading Article(s)");
  EXPECT_EQ(seen[0].status, kTopic);
  const std::vector<std::string> expected{"/ubb/other.html,1", std::string(kTopic) + ",5",
                                          "/ubb/last.html,1"};
  EXPECT_EQ(Records(), expected);
}

TEST_F(RetrieveArticlesTest, NewTopicIsAppended) {
  bases::RecordTopic(run(), "/ubb/other.html,1");
  Serve({{kTopic, "page"}});

  Retrieve({std::string(kTopic) + ",0"});

  EXPECT_EQ(forum_->paths(), std::vector<std::string>{kTopic});
  const std::vector<std::string> expected{"/ubb/other.html,1", std::string(kTopic) + ",0"};
  EXPECT_EQ(Records(), expected);
}

TEST_F(RetrieveArticlesTest, EmptyAnswerLeavesTheTopicForTheNextRun) {
  Serve({});

  Retrieve({std::string(kTopic) + ",2"});

  EXPECT_EQ(forum_->paths(), std::vector<std::string>{kTopic});
  EXPECT_TRUE(Records().empty());
}

// Answers that are not whole topic pages, and a spool that cannot be
// written, leave the topic for the next run; only the spool is a failure.
TEST_F(RetrieveArticlesTest, TopicIsRecordedOnlyWhenItsPagesWereWholeAndDelivered) {
  const std::string page = std::string(kPostCell) + "<html>topic</html>";
  struct Case {
    const char* name;
    std::string answer;
    bool spool_missing;
    bool recorded;
    bool spool_failed;
  };
  const Case cases[] = {
      {"whole page", Answer(page), false, true, false},
      {"error status", Answer(page, 503), false, false, false},
      {"cut short of its length", Answer(page).substr(0, Answer(page).size() - 5), false, false,
       false},
      {"no status line", page, false, false, false},
      {"no post on it", Answer("<html>Service Unavailable</html>"), false, false, false},
      {"spool cannot be written", Answer(page), true, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    quorix::testing::TestRun fresh;
    quorix::testing::ScratchDir spool;
    run::Slot& s = fresh.run.slots[kSlot];
    s.web.engine = run::kUbb;
    s.web.spool = c.spool_missing ? spool.Prefix() + "missing/" : spool.Prefix();
    fresh.run.env.program_dir = spool.Prefix();
    TestForum forum(s, {{kTopic, c.answer}});
    s.topic_count = 1;
    const RetrievalOutcome outcome =
        RetrieveArticles(worker::Worker(fresh.run, fresh.run.slots[kSlot], kSlot), "de.test",
                         "Forum+Three", 3, {std::string(kTopic) + ",1"}, forum.fetcher());
    EXPECT_EQ(bases::HtmlBaseCount(fresh.run), c.recorded ? 1u : 0u);
    EXPECT_EQ(outcome.topics_read, c.recorded ? 1 : 0);
    EXPECT_EQ(outcome.topics_left, c.recorded ? 0 : 1);
    EXPECT_EQ(outcome.spool_failed, c.spool_failed);
    EXPECT_EQ(s.error.load(), 0);  // the scan driver fails the slot
  }
}

TEST_F(RetrieveArticlesTest, ThreadsTopicIsLookedUpByLinkAndFetchedWithTheSuffix) {
  const std::string known = "/ubbthreads/showflat.php?Cat=&Board=X&Number=5";
  const std::string changed = "/ubbthreads/showflat.php?Cat=&Board=X&Number=6";
  slot().web.engine = run::kUbbThreads;
  bases::RecordTopic(run(), known + ",3");
  bases::RecordTopic(run(), changed + ",3");
  const std::string suffix = "&page=0&view=collapsed&sb=5&o=&fpart=all";
  Serve({{changed + suffix, "page"}});

  Retrieve({known + ",3", changed + ",4"});

  EXPECT_EQ(forum_->paths(), std::vector<std::string>{changed + suffix});
  const std::vector<std::string> expected{known + ",3", changed + ",4"};
  EXPECT_EQ(Records(), expected);
}

TEST_F(RetrieveArticlesTest, UbbContinuationPagesAreFollowedInTurn) {
  const std::string page2 = "/ubb/Forum3/HTML/000123-2.html";
  const std::string page3 = "/ubb/Forum3/HTML/000123-3.html";
  Serve({{kTopic, "<a href=\"" + page2 + "\">2</a>"},
         {page2, "<a href=\"" + page3 + "\">3</a>"},
         {page3, "last page, links back to " + std::string(kTopic)}});

  Retrieve({std::string(kTopic) + ",9"});

  const std::vector<Seen> seen = forum_->seen();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].path, kTopic);
  EXPECT_EQ(seen[1].path, page2);
  EXPECT_EQ(seen[2].path, page3);
  EXPECT_EQ(seen[2].activity, "Reading Article(s)");
  EXPECT_EQ(seen[2].status, kTopic);  // the status keeps the topic's path
  EXPECT_EQ(Records(), std::vector<std::string>{std::string(kTopic) + ",9"});
}

TEST_F(RetrieveArticlesTest, FailedContinuationPageLeavesTheTopicUnrecorded) {
  const std::string page2 = "/ubb/Forum3/HTML/000123-2.html";
  bases::RecordTopic(run(), std::string(kTopic) + ",1");
  Serve({{kTopic, "see " + page2}});

  Retrieve({std::string(kTopic) + ",9"});

  EXPECT_EQ(forum_->paths(), (std::vector<std::string>{kTopic, page2}));
  EXPECT_EQ(Records(), std::vector<std::string>{std::string(kTopic) + ",1"});
}

TEST_F(RetrieveArticlesTest, SameTopicListedTwiceIsFetchedOnce) {
  Serve({{kTopic, "page"}});

  Retrieve({std::string(kTopic) + ",2", std::string(kTopic) + ",2"});

  EXPECT_EQ(forum_->paths(), std::vector<std::string>{kTopic});
  EXPECT_EQ(Records(), std::vector<std::string>{std::string(kTopic) + ",2"});
}

TEST_F(RetrieveArticlesTest, OnlyTopicsFromNextTopicOnAreHandled) {
  Serve({{"/ubb/3.html", "page"}});

  Retrieve({"/ubb/1.html,1", "/ubb/2.html,1", "/ubb/3.html,1"}, /*next_topic=*/3);

  EXPECT_EQ(forum_->paths(), std::vector<std::string>{"/ubb/3.html"});
  EXPECT_EQ(Records(), std::vector<std::string>{"/ubb/3.html,1"});
}

TEST_F(RetrieveArticlesTest, RowWithoutLinkIsNotFetched) {
  Serve({});

  Retrieve({",5", ""});

  EXPECT_TRUE(forum_->paths().empty());
  EXPECT_TRUE(Records().empty());
}

TEST_F(RetrieveArticlesTest, NoEngineFetchesNothing) {
  slot().web.engine = run::kNoEngine;
  Serve({});

  Retrieve({std::string(kTopic) + ",1"});

  EXPECT_TRUE(forum_->paths().empty());
}

}  // namespace
}  // namespace quorix::harvest
