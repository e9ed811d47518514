// The user's own posts as the harvest delivers them: the forum's copy of a
// post that this gateway posted names the outgoing article in Supersedes, and
// its record goes only with a delivery on record.
#include <gtest/gtest.h>

#include <string>

#include "bases/pending_posts.h"
#include "convert/article_delivery.h"
#include "convert/converter_test_support.h"

namespace quorix::convert {
namespace {

constexpr char kOutgoing[] = "<out1@reader.invalid>";

class OwnPostsTest : public testing::ConverterTest {
 protected:
  OwnPostsTest() {
    run::PendingPost posted;
    posted.posted = true;
    posted.file = t_.dir() + "/SPOOL\\n0001.OUT";
    posted.user = "Tester";
    posted.id_prefix = "<de.test@forum3.";
    posted.words = bases::PostWords("My answer, written in the reader.");
    posted.outgoing_id = kOutgoing;
    posted.confirmed = "20041005";  // the test run's day
    t_.Write(std::string(bases::kPendingPostsFile), bases::FormatPendingPosts({posted}));
  }

  static Post ForumPost(const std::string& id, const std::string& author) {
    return Post{author,
                "",
                "Re: Hello",
                "05 Oct 2004 12:00:00 +0000",
                "My answer, written in the reader.\n[I]## CP, via QUORIX[/I]",
                id};
  }

  // One page of the given posts; the articles delivered, in order.
  std::vector<std::string> DeliverPage(const std::vector<Post>& posts, PageOutcome expected) {
    PageSpool spool(target());
    TopicConversion topic;
    for (const Post& post : posts) spool.Deliver(post, "de.test", "http://forum.example/x", topic);
    EXPECT_EQ(spool.Close(), expected);
    std::vector<std::string> articles;
    for (const std::string& name : SpoolFiles()) {
      for (const std::string& article : Articles(name)) articles.push_back(article);
    }
    return articles;
  }
};

TEST_F(OwnPostsTest, TheForumsCopyReplacesTheReadersOnceAndTheRecordGoes) {
  const std::vector<std::string> articles =
      DeliverPage({ForumPost("<de.test@forum3.000001.html.1.ab>", "Anna"),
                   ForumPost("<de.test@forum3.000001.html.2.ab>", " tester "),
                   ForumPost("<de.test@forum3.000001.html.3.ab>", "Tester")},
                  PageOutcome::kDelivered);
  ASSERT_EQ(articles.size(), 3u);
  EXPECT_FALSE(HasHeader(articles[0], "Supersedes")) << "another author";
  EXPECT_EQ(Header(articles[1], "Supersedes"), kOutgoing);
  EXPECT_FALSE(HasHeader(articles[2], "Supersedes")) << "one forum post per outgoing article";
  EXPECT_FALSE(t_.Exists(std::string(bases::kPendingPostsFile))) << "its only record went";
  EXPECT_NE(t_.LogMessages().find(std::string("Article ") + kOutgoing +
                                  " is on the forum as <de.test@forum3.000001.html.2.ab>,"
                                  " which replaces it\n"),
            std::string::npos)
      << t_.LogMessages();
}

// A page whose spool file cannot be written delivers nothing: the record
// stays and the post that the next page (or run) brings still takes it.
TEST_F(OwnPostsTest, AnUndeliveredPageKeepsTheRecord) {
  const std::string spool = slot().web.spool;
  slot().web.spool = t_.dir() + "/MISSING\\";
  DeliverPage({ForumPost("<de.test@forum3.000001.html.2.ab>", "Tester")}, PageOutcome::kFailed);
  ASSERT_TRUE(t_.Exists(std::string(bases::kPendingPostsFile)));

  slot().web.spool = spool;
  const std::vector<std::string> articles = DeliverPage(
      {ForumPost("<de.test@forum3.000001.html.2.ab>", "Tester")}, PageOutcome::kDelivered);
  ASSERT_EQ(articles.size(), 1u);
  EXPECT_EQ(Header(articles[0], "Supersedes"), kOutgoing);
  EXPECT_FALSE(t_.Exists(std::string(bases::kPendingPostsFile)));
}

}  // namespace
}  // namespace quorix::convert
