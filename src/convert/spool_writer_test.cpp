#include "convert/spool_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bases/test_installation.h"
#include "convert/converter_test_support.h"

namespace quorix::convert {
namespace {

using bases::testing::TestInstallation;
using testing::SpoolFileName;

NewsArticle Sample() {
  NewsArticle a;
  a.newsgroup = "de.test.forum";
  a.address = "joe@x.de";
  a.author = "Joe Smith";
  a.subject = "Hello";
  a.message_id = "<de.test.forum@forum3.000123.html.0.1c291ca3>";
  a.references = "<ref.1>";
  a.date = "05 Oct 2004 22:30:00";
  a.body = "x";
  a.page_url = "http://forum.example/Forum3/HTML/000123.html";
  return a;
}

TEST(BuildNewsArticle, ExactLayoutOfAFirstArticle) {
  EXPECT_EQ(BuildNewsArticle(Sample()),
            "Path: quorix!localhost\n"
            "From: Joe Smith <joe@x.de>\n"
            "Reply-To: \n"
            "Newsgroups: de.test.forum\n"
            "Message-ID: <de.test.forum@forum3.000123.html.0.1c291ca3>\n"
            "Subject: Hello\n"
            "Date: 05 Oct 2004 22:30:00\n"
            "X-Htmlpage: http://forum.example/Forum3/HTML/000123.html\n"
            "\n"
            "x\n");
}

TEST(BuildNewsArticle, LaterArticlesReferenceAndReply) {
  NewsArticle a = Sample();
  a.article_index = 2;
  a.references = "<a.1> <a.2>";
  a.address = "";
  a.body = "line 1\nline 2";
  EXPECT_EQ(BuildNewsArticle(a),
            "Path: quorix!localhost\n"
            "From: Joe Smith <>\n"
            "Reply-To: \n"
            "Newsgroups: de.test.forum\n"
            "Message-ID: <de.test.forum@forum3.000123.html.0.1c291ca3>\n"
            "References: <a.1> <a.2>\n"
            "Subject: Re: Hello\n"
            "Date: 05 Oct 2004 22:30:00\n"
            "X-Htmlpage: http://forum.example/Forum3/HTML/000123.html\n"
            "\n"
            "line 1\nline 2\n");
}

TEST(BuildNewsArticle, ReplyPrefixRules) {
  struct Case {
    int index;
    const char* subject;
    const char* line;
  } cases[] = {
      {0, "Re: Hello", "Subject: Re: Hello\n"},   {0, "Hello", "Subject: Hello\n"},
      {1, "Re: Hello", "Subject: Re: Hello\n"},   {1, "RE: Hello", "Subject: Re: RE: Hello\n"},
      {1, "Re:Hello", "Subject: Re: Re:Hello\n"}, {1, "", "Subject: Re: \n"},
  };
  for (const Case& c : cases) {
    NewsArticle a = Sample();
    a.article_index = c.index;
    a.subject = c.subject;
    EXPECT_NE(BuildNewsArticle(a).find(c.line), std::string::npos) << c.subject;
  }
}

TEST(BuildNewsArticle, HeaderValuesCannotAddLines) {
  NewsArticle a = Sample();
  a.author = "Evil\r\nX-Injected: 1";
  a.subject = std::string_view("Sub\0ject\n", 9);
  a.date = "today\r";
  a.references = "<a>\n<b>";
  a.article_index = 1;
  std::string article = BuildNewsArticle(a);
  EXPECT_NE(article.find("From: Evil  X-Injected: 1 <joe@x.de>\n"), std::string::npos);
  EXPECT_NE(article.find("Subject: Re: Sub ject \n"), std::string::npos);
  EXPECT_NE(article.find("Date: today \n"), std::string::npos);
  EXPECT_NE(article.find("References: <a> <b>\n"), std::string::npos);
  EXPECT_EQ(article.find("\nX-Injected"), std::string::npos);
}

TEST(BuildSpoolEntry, BatchLineCountsEveryArticleByte) {
  NewsArticle a = Sample();
  a.body = "";
  const size_t without_body = BuildNewsArticle(a).size();
  std::string body(512 - without_body, 'b');
  a.body = body;
  std::string entry = BuildSpoolEntry(a);
  EXPECT_EQ(entry.substr(0, 13), "#! rnews 512\n");
  EXPECT_EQ(entry.size(), 13u + 512u);
  EXPECT_EQ(entry.substr(13), BuildNewsArticle(a));
}

class SpoolFiles : public ::testing::Test {
 protected:
  SpoolFiles() {
    std::filesystem::create_directory(t_.Path("SPOOL"));
    spool_ = t_.dir() + "/SPOOL\\";
  }
  void Touch(const std::string& name) { t_.Write("SPOOL/" + name, "old"); }

  TestInstallation t_;
  std::string spool_;
};

TEST_F(SpoolFiles, EntriesFollowEachOther) {
  platform::File file =
      platform::File::Open(spool_ + SpoolFileName(0), platform::Access::kReadWrite,
                           platform::Sharing::kShared, platform::Missing::kCreateNew);
  ASSERT_TRUE(file.IsOpen());
  NewsArticle first = Sample();
  NewsArticle second = Sample();
  second.article_index = 1;
  EXPECT_TRUE(WriteNewsArticle(file, first));
  EXPECT_TRUE(WriteNewsArticle(file, "g", "a", "b", "s", "<id>", "<ref>", "d", "body", "u", 1));
  file.Close();
  second.newsgroup = "g";
  second.address = "a";
  second.author = "b";
  second.subject = "s";
  second.message_id = "<id>";
  second.references = "<ref>";
  second.date = "d";
  second.body = "body";
  second.page_url = "u";
  EXPECT_EQ(t_.Read("SPOOL/" + SpoolFileName(0)), BuildSpoolEntry(first) + BuildSpoolEntry(second));
}

TEST_F(SpoolFiles, FailedWriteReportsFalseAndAddsNothing) {
  Touch(SpoolFileName(0));
  platform::File file = platform::File::Open(spool_ + SpoolFileName(0), platform::Access::kRead,
                                             platform::Sharing::kShared, platform::Missing::kFail);
  ASSERT_TRUE(file.IsOpen());
  EXPECT_FALSE(WriteNewsArticle(file, Sample()));
  file.Close();
  EXPECT_EQ(t_.Read("SPOOL/" + SpoolFileName(0)), "old");
}

}  // namespace
}  // namespace quorix::convert
