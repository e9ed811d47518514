#include "convert/threads_converter.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "convert/converter_test_support.h"

namespace quorix::convert {
namespace {

using testing::SpoolFileName;

const std::string kAddress =
    "/ubbthreads/showflat.php?Cat=&Board=talk&Number=4711&page=0&view=collapsed&sb=5&o=&fpart=all";

// One post section as the forum's flat view writes it.
std::string Section(const std::string& author, const std::string& subject, int number,
                    const std::string& date, const std::string& body) {
  return "<!-- Start of post -->\n"
         "<table width=\"100%\" cellspacing=\"1\" cellpadding=\"3\" class=\"tableborders\">\n"
         "<tr><td class=\"subjecttable\">\n"
         "<a name=\"Post" +
         std::to_string(number) +
         "\"></a><img src=\"/ubbthreads/images/icons/book.gif\" alt=\"\" /> <b>\n" + subject +
         "\n</b>\n</td></tr>\n<tr><td class=\"lighttable\">\n"
         "<a href=\"/ubbthreads/showprofile.php?Cat=&amp;User=x&amp;Board=talk\" "
         "target=\"_blank\">" +
         author +
         "</a>\n"
         "<font class=\"small\"> #" +
         std::to_string(number) + " - " + date +
         " <i></i></font>\n</td></tr>\n<tr><td class=\"lighttable\">\n"
         "<font class=\"post\">" +
         body +
         "<!--end-->\n"
         "<a target=\"_top\" href=\"/ubbthreads/addpost.php?Reply=1\">Reply</a>\n"
         "</font></td></tr>\n</table>\n<!-- End of post -->";
}

std::string FlatView(const std::vector<std::string>& sections) {
  std::string page = "<html>\n<head>\n<title>Page &amp; title</title>\n</head>\n<body>\n";
  for (const std::string& section : sections) page += section + "\n";
  return page + "</body></html>\n";
}

class ThreadsConversion : public testing::ConverterTest {
 protected:
  ThreadsConversion() {
    tmpl().article_start = "<!-- Start of post -->";
    tmpl().article_end = "<!-- End of post -->";
  }
  PageOutcome Convert(const std::string& page, TopicConversion& topic) {
    const std::vector<Post> posts = ThreadsPagePosts(tmpl(), "de.talk", kAddress, 9, page, topic);
    return DeliverPage(target(), "de.talk", kAddress, posts, topic);
  }
};

TEST_F(ThreadsConversion, PostsBecomeArticlesWithChains) {
  TopicConversion topic;
  std::string page = FlatView(
      {Section("Joe", "Tom &amp; Jerry", 101, "05.10.2004 22:30", "Hello<br />\nWorld"),
       Section("<font color=\"#FF0000\">Admin</font>", "<a href=\"/x\">Linked &lt;subject&gt;</a>",
               102, "06.10.2004 09:15", "Second post")});
  EXPECT_EQ(Convert(page, topic), PageOutcome::kDelivered);
  std::vector<std::string> articles = Articles(SpoolFileName(0));
  ASSERT_EQ(articles.size(), 2u);
  // The body ends ten characters before the reply link: "<!--end-->" goes.
  const std::string id0 = "<de.talk@forum9.4711.101.0.ec209706>";
  EXPECT_EQ(articles[0],
            "Path: quorix!localhost\n"
            "From: Joe <unknown@quorix.invalid>\n"
            "Reply-To: \n"
            "Newsgroups: de.talk\n"
            "Message-ID: " +
                id0 +
                "\n"
                "Subject: Tom & Jerry\n"
                "Date: 05 Oct 2004 22:30:00 +0100\n"
                "X-Htmlpage: http://forum.example" +
                kAddress +
                "\n"
                "\n"
                "Hello\nWorld\n");
  EXPECT_EQ(Header(articles[1], "From"), "Admin <unknown@quorix.invalid>");
  EXPECT_EQ(Header(articles[1], "Subject"), "Re: Linked <subject>");
  EXPECT_EQ(Header(articles[1], "References"), id0);
  EXPECT_EQ(Header(articles[1], "Message-ID"), "<de.talk@forum9.4711.102.1.23d32cea>");
}

TEST_F(ThreadsConversion, SamePageAgainIsAllDupes) {
  std::string page = FlatView({Section("Joe", "S", 1, "05.10.2004 22:30", "plain")});
  TopicConversion first, again;
  Convert(page, first);
  Convert(page, again);
  EXPECT_EQ(SpoolFiles(), std::vector<std::string>{SpoolFileName(0)});
  EXPECT_NE(t_.LogMessages().find("Article: <de.talk@forum9.4711.1.0.192062cf> is a Dupe\n"),
            std::string::npos);
}

TEST_F(ThreadsConversion, FourHyphenSignatureAndItsAddress) {
  tmpl().href_mail_start = "<a href=\"mailto:";
  tmpl().href_mail_end = "</a>";
  TopicConversion topic;
  Convert(FlatView({Section("Joe", "S", 1, "05.10.2004 22:30",
                            "Text<br />\n<br />\n---- <br />\nJoe.Doe@Example.org")}),
          topic);
  std::vector<std::string> articles = Articles(SpoolFileName(0));
  ASSERT_EQ(articles.size(), 1u);
  EXPECT_EQ(Body(articles[0]), "Text\n\n-- \nJoe.Doe@Example.org\n");
  EXPECT_EQ(Header(articles[0], "From"), "Joe <Joe.Doe@Example.org>");
}

TEST_F(ThreadsConversion, TruncatedAndDamagedPagesNeverBreakTheConversion) {
  const std::string page =
      FlatView({Section("Joe", "S", 1, "05.10.2004 22:30", "one"),
                Section("Ann", "<a href=\"x\">T</a>", 2, "06.10.2004 10:00", "two")});
  for (size_t length = 0; length <= page.size(); ++length) {
    TopicConversion topic;
    EXPECT_NE(Convert(page.substr(0, length), topic), PageOutcome::kFailed);
  }
  std::mt19937 random(3);
  for (int round = 0; round < 300; ++round) {
    std::string damaged = page;
    for (int flips = 0; flips < 8; ++flips) {
      damaged[random() % damaged.size()] = static_cast<char>(random() % 256);
    }
    TopicConversion topic;
    EXPECT_NE(Convert(damaged, topic), PageOutcome::kFailed);
  }
}

TEST_F(ThreadsConversion, EmptyMarkers) {
  // No start marker: the only cell starts at the top of the page. No end
  // marker: a cell runs to the end of the page.
  tmpl().article_start.clear();
  tmpl().article_end.clear();
  TopicConversion topic;
  Convert(FlatView({Section("Joe", "S", 1, "05.10.2004 22:30", "plain")}), topic);
  EXPECT_EQ(topic.article_counter, 1);
  EXPECT_EQ(ThreadsPostCells("abc", "", "").size(), 1u);
  EXPECT_EQ(ThreadsPostCells("", "", "").size(), 0u);
  EXPECT_EQ(ThreadsPostCells("aXbXc", "", "X"), (std::vector<std::string_view>{"a", "Xb", "Xc"}));
}

TEST(ThreadsDateText, DayMonthYear) {
  EXPECT_EQ(ThreadsDateText(" 05.10.2004 22:30 "), "05 Oct 2004 22:30:00 +0100");
  EXPECT_EQ(ThreadsDateText("31.12.1999 00:00"), "31 Dec 1999 00:00:00 +0100");
  EXPECT_EQ(ThreadsDateText("01.01.2000"), "01 Jan 2000:00 +0100");
  EXPECT_EQ(ThreadsDateText(""), ":00 +0100");
}

TEST(ThreadsFields, AuthorSubjectNumberAndBody) {
  ThreadsPost post = ExtractThreadsPost(
      Section("<font color=\"#00FF00\">Boss</font>", "  Spaced  ", 42, "01.02.2003 04:05", "B"));
  EXPECT_EQ(post.author, "Boss");
  EXPECT_EQ(post.subject, "Spaced");
  EXPECT_EQ(post.post_number, "42");
  EXPECT_EQ(post.date, "01 Feb 2003 04:05:00 +0100");
  EXPECT_EQ(post.body, "B");
  ThreadsPost empty = ExtractThreadsPost("");
  EXPECT_EQ(empty.author, "");
  EXPECT_EQ(empty.body, "");
}

TEST(ThreadsMessageId, AmpersandPlusAndEqualsRemoved) {
  EXPECT_EQ(ThreadsTopicNumber("/s.php?Board=a&Number=12&page=0"), "12");
  // Without "&Number=" the number starts at the eighth character.
  EXPECT_EQ(ThreadsTopicNumber("/s.php?Number=1&x=2+3&page=0"), "Number=1&x=2+3");
  EXPECT_EQ(ThreadsTopicNumber("/s.php?Board=a&Number=1&x=2+3&page"), "1&x=2+3");
  EXPECT_EQ(ThreadsMessageId("de.a+b", 2, "1&x=2+3", "7", 0, "plain"),
            "<de.ab@forum2.1x23.7.0.192062cf>");
}

}  // namespace
}  // namespace quorix::convert
