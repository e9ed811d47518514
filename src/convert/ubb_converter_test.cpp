#include "convert/ubb_converter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bases/dupe_base.h"
#include "convert/converter_test_support.h"

namespace quorix::convert {
namespace {

using testing::SpoolFileName;

const std::string kAddress = "/forums/Forum3/HTML/000123.html";
const std::string kFont2 = "<FONT SIZE=\"2\" FACE=\"Verdana, Arial\">";
const std::string kFont1 = "<FONT SIZE=\"1\" FACE=\"Verdana, Arial\">";

// A post cell laid out as the forum writes it: fields separated by CR LF.
std::string Cell(const std::string& author, const std::string& date, const std::string& body) {
  std::vector<std::string> fields = {
      "<TD width=18% valign=top>" + kFont2,
      "<B>" + author + "</B></FONT><BR>",
      kFont1 + "Member</FONT><BR>",
      kFont1 + "Posts: 12</FONT><BR>",
      kFont1 + "Registered: Jan 2004</FONT>",
      "</td><td bgcolor=\"#f7f7f7\" width=82% valign=top>",
      kFont1 + "posted " + date + "&nbsp;&nbsp;<IMG SRC=\"/ubbgfx/profile.gif\" BORDER=0>",
      "<IMG SRC=\"/ubbgfx/edit.gif\" BORDER=0 ALT=\"Edit/Delete Message\">",
      "</FONT>",
      kFont2 + "<FONT><HR>  " + body + "</FONT>",
      kFont1 + "<A HREF=\"#top\">top</A></FONT>",
  };
  std::string cell;
  for (size_t i = 0; i < fields.size(); ++i) cell += (i ? "\r\n" : "") + fields[i];
  return cell + "</td></tr>";
}

std::string Page(const std::string& subject, const std::vector<std::string>& cells) {
  std::string page = "<HTML><HEAD><TITLE>t</TITLE></HEAD>\r\n" + kFont2 + "<B>Topic:&nbsp;&nbsp;" +
                     subject + "</B></FONT>\r\n<TABLE>\r\n";
  for (const std::string& cell : cells) page += "<TR BGCOLOR=\"#f7f7f7\">\r\n" + cell + "\r\n";
  return page + "</TABLE>\r\n</BODY></HTML>\r\n";
}

std::string ThreePosts() {
  return Page("Tom &amp; Jerry", {Cell("Joe", "October 05, 2004 10:30 PM", "Hello<br>\nWorld"),
                                  Cell("Ann", "October 06, 2004 09:15 AM", "Second post"),
                                  Cell("Bob", "October 06, 2004 12:05 AM", "Third one")});
}

class UbbConversion : public testing::ConverterTest {
 protected:
  PageOutcome Convert(const std::string& page, TopicConversion& topic,
                      const std::string& address = kAddress) {
    const std::vector<Post> posts =
        UbbPagePosts(tmpl(), slot().web.time_zone, "de.test", address, 3, page, topic);
    return DeliverPage(target(), "de.test", address, posts, topic);
  }
};

// The converter alone: posts numbered on from the topic's count, no file
// written, the topic left to the delivery.
TEST_F(UbbConversion, PagePostsAreNumberedOnFromTheTopicAndWriteNothing) {
  struct Case {
    int articles_before;
    std::vector<std::string> ids;
  };
  const Case cases[] = {
      {0,
       {"<de.test@forum3.000123.html.0.ec209706>", "<de.test@forum3.000123.html.1.23d32cea>",
        "<de.test@forum3.000123.html.2.dbd03b76>"}},
      {7,
       {"<de.test@forum3.000123.html.7.ec209706>", "<de.test@forum3.000123.html.8.23d32cea>",
        "<de.test@forum3.000123.html.9.dbd03b76>"}},
  };
  for (const Case& c : cases) {
    TopicConversion topic;
    topic.article_counter = c.articles_before;
    const std::vector<Post> posts =
        UbbPagePosts(tmpl(), "+0000", "de.test", kAddress, 3, ThreePosts(), topic);
    std::vector<std::string> ids;
    for (const Post& post : posts) ids.push_back(post.message_id);
    EXPECT_EQ(ids, c.ids);
    ASSERT_EQ(posts.size(), 3u);
    EXPECT_EQ(posts[0].author, "Joe");
    EXPECT_EQ(posts[0].subject, "Tom & Jerry");
    EXPECT_EQ(posts[0].date, "05 Oct 2004 22:30:00 +0000");
    EXPECT_EQ(topic.article_counter, c.articles_before);
    EXPECT_EQ(topic.reference_chain, "");
  }
  EXPECT_TRUE(SpoolFiles().empty());
}

TEST_F(UbbConversion, ThreeCellsGiveThreeEntriesWithReferenceChains) {
  slot().web.time_zone = "+0200";
  TopicConversion topic;
  EXPECT_EQ(Convert(ThreePosts(), topic), PageOutcome::kDelivered);
  ASSERT_EQ(SpoolFiles(), std::vector<std::string>{SpoolFileName(0)});
  std::vector<std::string> articles = Articles(SpoolFileName(0));
  ASSERT_EQ(articles.size(), 3u);
  const std::string id0 = "<de.test@forum3.000123.html.0.ec209706>";
  const std::string id1 = "<de.test@forum3.000123.html.1.23d32cea>";
  const std::string id2 = "<de.test@forum3.000123.html.2.dbd03b76>";
  EXPECT_EQ(articles[0],
            "Path: quorix!localhost\n"
            "From: Joe <unknown@quorix.invalid>\n"
            "Reply-To: \n"
            "Newsgroups: de.test\n"
            "Message-ID: " +
                id0 +
                "\n"
                "Subject: Tom & Jerry\n"
                "Date: 05 Oct 2004 22:30:00 +0200\n"
                "X-Htmlpage: http://forum.example/forums/Forum3/HTML/000123.html\n"
                "\n"
                "Hello\nWorld\n");
  EXPECT_EQ(Header(articles[1], "Message-ID"), id1);
  EXPECT_EQ(Header(articles[1], "References"), id0);
  EXPECT_EQ(Header(articles[1], "Subject"), "Re: Tom & Jerry");
  EXPECT_EQ(Header(articles[1], "Date"), "06 Oct 2004 09:15:00 +0200");
  EXPECT_EQ(Header(articles[2], "References"), id0 + " " + id1);
  EXPECT_EQ(Header(articles[2], "Date"), "06 Oct 2004 00:05:00 +0200");
  EXPECT_EQ(topic.article_counter, 3);
  EXPECT_EQ(topic.reference_chain, id0 + " " + id1 + " " + id2);
  EXPECT_EQ(t_.LogMessages(), "Article: " + id0 + " is new/edited\nArticle: " + id1 +
                                  " is new/edited\nArticle: " + id2 + " is new/edited\n");
  EXPECT_TRUE(bases::IsDupe(t_.run(), id2));
}

size_t Count(const std::string& text, const std::string& needle) {
  size_t count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
    ++count;
  }
  return count;
}

TEST_F(UbbConversion, EachPageTakesTheSmallestFreeNumberAndSkipsNamesTakenSinceTheListing) {
  // Files the reader has not imported yet, and one another program makes
  // after the first listing: the numbers go 1, 3, 4, then past 5 to 6.
  t_.Write("SPOOL/" + SpoolFileName(0), "old");
  t_.Write("SPOOL/" + SpoolFileName(2), "old");
  const std::vector<int> expected_numbers = {1, 3, 4, 6};
  for (size_t page = 0; page < expected_numbers.size(); ++page) {
    if (page == 3) t_.Write("SPOOL/" + SpoolFileName(5), "other");
    TopicConversion topic;
    const std::string address = "/forums/Forum3/HTML/00012" + std::to_string(page) + ".html";
    ASSERT_EQ(Convert(ThreePosts(), topic, address), PageOutcome::kDelivered);
    EXPECT_EQ(Articles(SpoolFileName(expected_numbers[page])).size(), 3u) << "page " << page;
  }
  EXPECT_EQ(SpoolFiles().size(), 7u);
}

TEST_F(UbbConversion, SamePageAgainGivesDupesAndNoSpoolFile) {
  TopicConversion first;
  Convert(ThreePosts(), first);
  TopicConversion again;
  EXPECT_EQ(Convert(ThreePosts(), again), PageOutcome::kDelivered);
  // The second page's file (N000001) stayed empty and was deleted.
  EXPECT_EQ(SpoolFiles(), std::vector<std::string>{SpoolFileName(0)});
  std::string log = t_.LogMessages();
  EXPECT_EQ(Count(log, " is a Dupe\n"), 3u);
  EXPECT_NE(log.find("Article: <de.test@forum3.000123.html.2.dbd03b76> is a Dupe\n"),
            std::string::npos);
  EXPECT_EQ(again.article_counter, 3);  // the chain runs on through dupes
  EXPECT_EQ(again.reference_chain, first.reference_chain);
  EXPECT_EQ(t_.run().dupe_base.Text().size(), first.reference_chain.size() - 2);  // no ID twice
}

TEST_F(UbbConversion, EditedPostIsDeliveredWithANewId) {
  TopicConversion first;
  Convert(ThreePosts(), first);
  std::string edited =
      Page("Tom &amp; Jerry", {Cell("Joe", "October 05, 2004 10:30 PM", "Hello<br>\nWorld!"),
                               Cell("Ann", "October 06, 2004 09:15 AM", "Second post"),
                               Cell("Bob", "October 06, 2004 12:05 AM", "Third one")});
  TopicConversion again;
  Convert(edited, again);
  std::vector<std::string> articles = Articles(SpoolFileName(1));
  ASSERT_EQ(articles.size(), 1u);
  EXPECT_EQ(Header(articles[0], "Message-ID"), "<de.test@forum3.000123.html.0.77e47a71>");
  EXPECT_EQ(Count(t_.LogMessages(), " is a Dupe\n"), 2u);
}

TEST_F(UbbConversion, SecondPageContinuesTheTopic) {
  TopicConversion topic;
  Convert(ThreePosts(), topic);
  // A continuation page is converted with the first page's address.
  Convert(Page("Tom &amp; Jerry", {Cell("Cy", "October 07, 2004 01:00 PM", "Fourth")}), topic);
  std::vector<std::string> articles = Articles(SpoolFileName(1));
  ASSERT_EQ(articles.size(), 1u);
  EXPECT_EQ(Header(articles[0], "Message-ID"), "<de.test@forum3.000123.html.3.700f1146>");
  EXPECT_EQ(Header(articles[0], "References"),
            "<de.test@forum3.000123.html.0.ec209706> <de.test@forum3.000123.html.1.23d32cea> "
            "<de.test@forum3.000123.html.2.dbd03b76>");
  EXPECT_EQ(Header(articles[0], "Date"), "07 Oct 2004 13:00:00 +0000");
}

TEST_F(UbbConversion, FiltersFollowTheTemplate) {
  tmpl().href_mail_start = "<a href=\"mailto:";
  tmpl().href_mail_end = "</a>";
  TopicConversion topic;
  Convert(Page("S", {Cell("Joe", "October 05, 2004 10:30 PM",
                          "Mail <a href=\"mailto:joe@x.de\">joe@x.de</a> <B>now</B>")}),
          topic);
  std::vector<std::string> articles = Articles(SpoolFileName(0));
  ASSERT_EQ(articles.size(), 1u);
  EXPECT_EQ(Header(articles[0], "From"), "Joe <joe@x.de>");
  EXPECT_EQ(Body(articles[0]), "Mail joe@x.de _now_\n");

  // With the mail filter off the address stays empty, and the markup stays.
  tmpl().strip_mailto = 0;
  tmpl().strip_highlights = 0;
  TopicConversion other;
  Convert(Page("S", {Cell("Ann", "October 05, 2004 10:30 PM", "<B>plain</B>")}), other);
  articles = Articles(SpoolFileName(1));
  ASSERT_EQ(articles.size(), 1u);
  EXPECT_EQ(Header(articles[0], "From"), "Ann <>");
  EXPECT_EQ(Body(articles[0]), "<B>plain</B>\n");
}

TEST_F(UbbConversion, ShortCellsAreSkipped) {
  TopicConversion topic;
  std::string page = Page("S", {"<TD width=18% valign=top>only\r\nfour\r\nlines\r\nhere</td></tr>",
                                Cell("Joe", "October 05, 2004 10:30 PM", "plain")});
  Convert(page, topic);
  std::vector<std::string> articles = Articles(SpoolFileName(0));
  ASSERT_EQ(articles.size(), 1u);
  EXPECT_EQ(Header(articles[0], "Message-ID"), "<de.test@forum3.000123.html.0.192062cf>");
  EXPECT_EQ(topic.article_counter, 1);
}

TEST_F(UbbConversion, NoSpoolDirectoryFailsThePageAndRemembersNothing) {
  slot().web.spool = t_.dir() + "/MISSING\\";
  TopicConversion topic;
  EXPECT_EQ(Convert(ThreePosts(), topic), PageOutcome::kFailed);
  EXPECT_EQ(Count(t_.LogMessages(),
                  "Error Spoolfile: " + t_.dir() + "/MISSING\\" + SpoolFileName(0) + "\n"),
            1u);
  // Once the folder is there, the same page delivers all three articles.
  slot().web.spool = t_.dir() + "/SPOOL\\";
  TopicConversion again;
  EXPECT_EQ(Convert(ThreePosts(), again), PageOutcome::kDelivered);
  EXPECT_EQ(Articles(SpoolFileName(0)).size(), 3u);
}

TEST_F(UbbConversion, PageWithoutPostCellsIsNoTopicPage) {
  TopicConversion topic;
  EXPECT_EQ(Convert("<HTML>Service Unavailable</HTML>", topic), PageOutcome::kNoPosts);
  EXPECT_EQ(SpoolFiles(), std::vector<std::string>{});
}

TEST_F(UbbConversion, TruncatedPagesNeverBreakTheConversion) {
  const std::string page = ThreePosts();
  for (size_t length = 0; length <= page.size(); ++length) {
    TopicConversion topic;
    EXPECT_NE(Convert(page.substr(0, length), topic), PageOutcome::kFailed);
    EXPECT_LE(topic.article_counter, 3);
  }
  // Every spool file that stayed holds whole entries.
  for (const std::string& name : SpoolFiles()) {
    for (const std::string& article : Articles(name)) EXPECT_TRUE(HasHeader(article, "Date"));
  }
}

// A stand-in for the machine's zone: CET with summer time from the 28th of
// March to the 31st of October 2004, so that a fault in the date handed over
// shows as a wrong offset.
int Cet2004(int year, int month, int day, int hour, int minute) {
  if (year != 2004 || minute < 0) return 0;
  const int key = month * 100 + day;
  return (key > 328 || (key == 328 && hour >= 2)) && (key < 1031 || (key == 1031 && hour < 3)) ? 120
                                                                                               : 60;
}

int NepalLike(int, int, int, int, int) { return 345; }
int WestOfUtc(int, int, int, int, int) { return -330; }

TEST(UbbDateZone, BoxZoneElseTheMachinesAtThatDate) {
  struct Case {
    std::string date;
    std::string configured;
    LocalOffsetLookup local;
    std::string zone;
  };
  const Case cases[] = {
      {"05 Oct 2004 22:30:00", "", Cet2004, "+0200"},
      {"05 Dec 2004 09:15:00", "", Cet2004, "+0100"},
      {"28 Mar 2004 01:59:00", "local", Cet2004, "+0100"},
      {"28 Mar 2004 02:00:00", "LOCAL", Cet2004, "+0200"},
      {"31 Oct 2004 03:00:00", "", Cet2004, "+0100"},
      {"05 Oct 2004 22:30:00", "+0100", Cet2004, "+0100"},
      {"05 Oct 2004 22:30:00", " -0530 ", Cet2004, "-0530"},
      {"05 Oct 2004 22:30:00", "+2500", Cet2004, "+0200"},  // no zone: the machine's
      {"05 Oct 2004 22:30:00", "CET", Cet2004, "+0200"},
      {"01 Jan 2004 00:00:00", "", NepalLike, "+0545"},
      {"01 Jan 2004 00:00:00", "", WestOfUtc, "-0530"},
      // Not a date of the page layout: no zone.
      {"Oct 2004 22:30:00", "+0100", Cet2004, ""},
      {"05 Okt 2004 22:30:00", "", Cet2004, ""},
      {"05 Oct 2004 10:30 PM:00", "", Cet2004, ""},
      {"32 Oct 2004 22:30:00", "", Cet2004, ""},
      {"", "", Cet2004, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UbbDateZone(c.date, c.configured, c.local), c.zone) << c.date << " " << c.configured;
  }
}

TEST(UbbDateZone, FixedZones) {
  for (const char* zone : {"+0000", "-1200", "+1400", "+0545"}) EXPECT_TRUE(IsFixedZone(zone));
  for (const char* zone : {"+1500", "+0160", "0100", "+100", "+01:00", "local", ""}) {
    EXPECT_FALSE(IsFixedZone(zone)) << zone;
  }
}

TEST(UbbDateText, TwentyFourHourClockWithoutZone) {
  struct Case {
    const char* raw;
    const char* date;
  } cases[] = {
      {"October 05, 2004 10:30 PM", "05 Oct 2004 22:30:00"},
      {"October 05, 2004 10:30 AM", "05 Oct 2004 10:30:00"},
      {"May 01, 2003 12:00 AM", "01 May 2003 00:00:00"},
      {"May 01, 2003 12:59 PM", "01 May 2003 12:59:00"},
      {"May 01, 2003 01:07 PM", "01 May 2003 13:07:00"},
      {"May 01, 2003 9:07 PM", "01 May 2003 21:07:00"},
      {"May 01, 2003 21:07", "01 May 2003 21:07:00"},     // no AM or PM: as it is
      {"May 01, 2003 13:07 PM", "01 May 2003 13:07:00"},  // no 12-hour time: as it is
      {"May 01, 2003 10:30 pm", "01 May 2003 10:30:00"},  // only "AM" and "PM" count
      {"", "   :00"},
  };
  for (const Case& c : cases) EXPECT_EQ(UbbDateText(c.raw), c.date) << c.raw;
}

TEST(UbbTopicSubject, TrimmedDecodedAndBounded) {
  EXPECT_EQ(UbbTopicSubject("x<B>Topic:&nbsp;&nbsp;  A &lt;b&gt; &amp;amp; </B>"), "A <b> &amp;");
  EXPECT_EQ(UbbTopicSubject("<B>Topic:&nbsp;&nbsp;" + std::string(5000, 's')).size(),
            kMaxUbbSubject);
}

TEST(UbbMessageId, LastElevenCharactersOfTheAddress) {
  EXPECT_EQ(UbbMessageId("g", 7, "/a/Forum7/HTML/000001.html", 0, ""),
            "<g@forum7.000001.html.0.0>");
  EXPECT_EQ(UbbMessageId("g", -1, "/x.html", 12, "plain"), "<g@forum-1./x.html.12.192062cf>");
}

TEST(UbbPostCells, EndMarkerMissingRunsToTheEnd) {
  std::vector<std::string_view> cells =
      UbbPostCells("a<TD width=18% valign=top>1</td></tr>b<TD width=18% valign=top>2");
  ASSERT_EQ(cells.size(), 2u);
  EXPECT_EQ(cells[0], "<TD width=18% valign=top>1");
  EXPECT_EQ(cells[1], "<TD width=18% valign=top>2");
  EXPECT_TRUE(UbbPostCells("no cells").empty());
}

}  // namespace
}  // namespace quorix::convert
