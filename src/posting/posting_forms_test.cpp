#include "posting/posting_forms.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace quorix::posting {
namespace {

constexpr char kGroupList[] =
    "de.test.forum,General+Talk,3,30\r\n"
    "de.test.board,Board+Twelve,12,0\r\n";

run::WebSettings TestSettings() {
  run::WebSettings web;
  web.user = "Test User";
  web.password = "p&ss w=rd";
  web.path = "cgi-bin/";
  web.post = "postings.cgi";
  web.sender_address = "me@example.org";
  return web;
}

OutgoingArticle FilledArticle(int action) {
  OutgoingArticle article;
  article.post_action = action;
  article.subject = "Hello World";
  article.body = "\r\nHi\r\n";
  article.forum_number = "3";
  article.forum_name = "General+Talk";
  article.topic_id = "000123.cgi";
  article.reply_number = "4";
  return article;
}

OutgoingArticle Read(int engine, std::initializer_list<std::string_view> lines) {
  OutgoingArticleParser parser(engine);
  for (std::string_view line : lines) parser.AddLine(line);
  return parser.TakeArticle();
}

PostingRequest Complete(int engine, std::initializer_list<std::string_view> lines) {
  OutgoingArticle article = Read(engine, lines);
  CompleteArticle(engine, TestSettings(), kGroupList, article);
  return BuildPostingRequest(engine, TestSettings(), article);
}

constexpr char kEncodedFooter[] = "%5BI%5D%23%23+CP%2F3%2E4%2C+via+QUORIX+v0%2E23g%5B%2FI%5D";

TEST(PostingForms, NewTopicByteForByte) {
  EXPECT_EQ(NewTopicForm(TestSettings(), FilledArticle(kNewTopic)),
            "UserName=Test+User&Password=p%26ss+w%3Drd&TopicSubject=Hello+World"
            "&Message=%0D%0AHi%0D%0A&number=3&forum=General+Talk&action=posttopic"
            "&Submit=Submit+New+Topic");
}

TEST(PostingForms, ReplyByteForByte) {
  EXPECT_EQ(ReplyForm(TestSettings(), FilledArticle(kReply)),
            "UserName=Test+User&Password=p%26ss+w%3Drd&ReplyMessage=%0D%0AHi%0D%0A"
            "&Signature=no&action=postreply&TopicSubject=Hello+World&forum=General+Talk"
            "&number=3&topic=000123.cgi&SUBMIT=Submit+Reply");
}

TEST(PostingForms, EditByteForByte) {
  EXPECT_EQ(EditForm(TestSettings(), FilledArticle(kEdit)),
            "UserName=Test+User&Password=p%26ss+w%3Drd&EditedMessage=%0D%0AHi%0D%0A"
            "&action=submitedit&TopicSubject=Hello+World&forum=General+Talk&ReplyNum=000004"
            "&number=3&topic=000123.cgi&SUBMIT=Submit+Now");
}

TEST(PostingForms, DeleteByteForByte) {
  EXPECT_EQ(DeleteForm(TestSettings(), FilledArticle(kDelete)),
            "DeletePost=yes&UserName=Test+User&Password=p%26ss+w%3Drd"
            "&EditedMessage=%0D%0AHi%0D%0A&action=submitedit&TopicSubject=Hello+World"
            "&forum=General+Talk&ReplyNum=000004&number=3&topic=000123.cgi&SUBMIT=Submit+Now");
}

TEST(PostingForms, ThreadsReplyByteForByte) {
  OutgoingArticle article = FilledArticle(kReply);
  article.forum_number = "12";
  article.topic_id = "4711";
  article.reply_number = "4700";
  EXPECT_EQ(ThreadsReplyForm(TestSettings(), article),
            "postername=Test+User&Board=FOR12&Cat=&Reged=y&page=0&Main=4711&Parent=4700"
            "&view=expanded&what=showflat&sb=5&o=&fpart=1&vc=1&replyto=Edvin+Tolland"
            "&Subject=Hello+World&Icon=book.gif&convert=markup&Body=%0D%0AHi%0D%0A"
            "&textcont=Weiter");
}

TEST(PostingForms, Num6) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"5", "000005"},        {"4", "000004"},
      {"4700", "004700"},     {"", "000000"},
      {"x", "000000"},        {" 5", "000000"},
      {"-5", "000000"},       {"12x", "000012"},
      {"0000004", "000004"},  {"123456", "123456"},
      {"1234567", "1234567"}, {"99999999999999999999", "99999999999999999999"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(Num6(in), out) << in;
}

TEST(PostingForms, Footer) {
  EXPECT_EQ(Footer("CP/3.4"), "[I]## CP/3.4, via QUORIX v0.23g[/I]");
  EXPECT_EQ(Footer(""), "[I]## , via QUORIX v0.23g[/I]");
}

TEST(CompleteArticle, UbbNewTopicFindsForumByNewsgroup) {
  PostingRequest request = Complete(run::kUbb, {"Newsgroups: de.test.forum", "Subject: Hi there",
                                                "X-Newsreader: CP/3.4", "", "Text"});
  EXPECT_EQ(request.path, "/cgi-bin/postings.cgi");
  EXPECT_EQ(request.body,
            std::string("UserName=Test+User&Password=p%26ss+w%3Drd&TopicSubject=Hi+there"
                        "&Message=%0D%0AText%0D%0A") +
                kEncodedFooter +
                "&number=3&forum=General+Talk&action=posttopic"
                "&Submit=Submit+New+Topic");
}

TEST(CompleteArticle, FooterOnlyForNewTopicsAndReplies) {
  struct Case {
    std::string_view header;
    bool footer;
  };
  const Case cases[] = {
      {"Subject: x", true},
      {"References: <g@forum3.000123.html.0.x>", true},
      {"Supersedes: <g@forum3.000123.html.2.x>", false},
      {"Control: cancel <g@forum3.000123.html.2.x>", false},
  };
  for (const Case& c : cases) {
    OutgoingArticle article = Read(run::kUbb, {c.header, "", "body"});
    CompleteArticle(run::kUbb, TestSettings(), kGroupList, article);
    const std::string plain = "\r\nbody\r\n";
    EXPECT_EQ(article.body, c.footer ? plain + Footer("") : plain) << c.header;
  }
}

TEST(CompleteArticle, OwnAddressMarkedBeforeFooter) {
  OutgoingArticle article =
      Read(run::kUbb, {"User-Agent: me@example.org", "", "write to me@example.org"});
  CompleteArticle(run::kUbb, TestSettings(), kGroupList, article);
  EXPECT_EQ(article.body,
            "\r\nwrite to [MAILTO]me@example.org[/MAILTO]\r\n"
            "[I]## me@example.org, via QUORIX v0.23g[/I]");
}

TEST(CompleteArticle, UbbReplyTakesForumNameByNumber) {
  PostingRequest request = Complete(
      run::kUbb, {"Subject: Re: Hello", "References: <de.test.forum@forum3.000123.html.0.ab>"});
  EXPECT_EQ(request.path, "/cgi-bin/postings.cgi");
  EXPECT_EQ(request.body,
            std::string("UserName=Test+User&Password=p%26ss+w%3Drd&ReplyMessage=") +
                "%5BI%5D%23%23+%2C+via+QUORIX+v0%2E23g%5B%2FI%5D" +
                "&Signature=no&action=postreply&TopicSubject=Hello&forum=General+Talk&number=3"
                "&topic=000123.cgi&SUBMIT=Submit+Reply");
}

TEST(CompleteArticle, UnknownNewsgroupSendsEmptyForum) {
  OutgoingArticle article = Read(run::kUbb, {"Newsgroups: de.test.forum,de.test.board"});
  CompleteArticle(run::kUbb, TestSettings(), kGroupList, article);
  EXPECT_EQ(article.forum_name, "");
  EXPECT_EQ(article.forum_number, "");
}

TEST(CompleteArticle, ThreadsEditByteForByte) {
  PostingRequest request = Complete(
      run::kUbbThreads,
      {"Subject: Re: Hello", "Supersedes: <de.test.board@forum12.4711.4700.3.9f>", "", "New"});
  EXPECT_EQ(request.path, "/cgi-bin/postings.cgi");
  EXPECT_EQ(request.body,
            "UserName=Test+User&Password=p%26ss+w%3Drd&EditedMessage=%0D%0ANew%0D%0A"
            "&action=submitedit&TopicSubject=Hello&forum=Board+Twelve&ReplyNum=004700"
            "&number=12&topic=4711&SUBMIT=Submit+Now");
}

TEST(CompleteArticle, ThreadsReplyGoesToAddPost) {
  PostingRequest request =
      Complete(run::kUbbThreads,
               {"Subject: Re: Hello",
                "References: <de.test.board@forum12.4711.4700.3.9f> <x@forum1.2.3>", "", "Reply"});
  EXPECT_EQ(request.path, "/cgi-bin/addpost.php");
  EXPECT_EQ(request.body,
            std::string("postername=Test+User&Board=FOR12&Cat=&Reged=y&page=0&Main=4711"
                        "&Parent=4700&view=expanded&what=showflat&sb=5&o=&fpart=1&vc=1"
                        "&replyto=Edvin+Tolland&Subject=Hello&Icon=book.gif&convert=markup"
                        "&Body=%0D%0AReply%0D%0A") +
                "%5BI%5D%23%23+%2C+via+QUORIX+v0%2E23g%5B%2FI%5D" + "&textcont=Weiter");
}

TEST(CompleteArticle, ThreadsNewTopicTakesUnshortenedNumberFromGroupList) {
  PostingRequest request = Complete(run::kUbbThreads, {"Newsgroups: de.test.board", "Subject: T"});
  EXPECT_EQ(request.path, "/cgi-bin/postings.cgi");
  EXPECT_NE(request.body.find("&number=12&forum=Board+Twelve&action=posttopic"), std::string::npos)
      << request.body;
}

TEST(CompleteArticle, ThreadsDeleteCutsForumPrefix) {
  OutgoingArticle article =
      Read(run::kUbbThreads, {"Control: cancel <de.test.board@forum12.4711.4700.3.9f>"});
  CompleteArticle(run::kUbbThreads, TestSettings(), kGroupList, article);
  EXPECT_EQ(article.forum_number, "12");
  EXPECT_EQ(article.forum_name, "Board+Twelve");
  EXPECT_EQ(article.topic_id, "");
  EXPECT_EQ(article.reply_number, "4700");
}

TEST(IsPostAccepted, OnlyNonEmptySuccessTextsInNonEmptyAnswers) {
  run::ForumTemplate forum_template;
  EXPECT_FALSE(IsPostAccepted("any error page", forum_template));  // all texts empty
  EXPECT_FALSE(IsPostAccepted("", forum_template));
  forum_template.article_edit_ok = "Edit saved";
  EXPECT_TRUE(IsPostAccepted("HTTP/1.0 200 OK\r\n\r\n<p>Edit saved</p>", forum_template));
  EXPECT_FALSE(IsPostAccepted("HTTP/1.0 200 OK\r\n\r\n<p>Edit failed</p>", forum_template));
  forum_template.article_post_ok = "Thank you";
  forum_template.article_dele_ok = "Deleted";
  EXPECT_TRUE(IsPostAccepted("Deleted", forum_template));  // whatever the action
  EXPECT_TRUE(IsPostAccepted("Thank you", forum_template));
  EXPECT_FALSE(IsPostAccepted("thank you", forum_template));  // case-sensitive
  EXPECT_FALSE(IsPostAccepted("", forum_template));
}

}  // namespace
}  // namespace quorix::posting
